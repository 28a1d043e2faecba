// The card selection page, creation and the tick (being written).
#include "Unit1.h"
