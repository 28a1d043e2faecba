// The help page (being written).
#include "Unit1.h"

void TForm1::buildHelpPage(QWidget *) {}
