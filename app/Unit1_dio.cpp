// The digital I/O page (being written).
#include "Unit1.h"

uint8_t DoutValue = 0;
uint8_t XDoutValue = 0;

void TForm1::buildDigitalIoPage(QWidget *) {}
void TForm1::DinStep(uintptr_t) {}
void TForm1::EditKeyDown(int) {}
void TForm1::Button6Click() {}
void TForm1::Button7Click() {}
