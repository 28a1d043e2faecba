// A one-digit bit field (being written).
#include "BitField.h"
