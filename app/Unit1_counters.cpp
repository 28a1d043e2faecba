// The counters page (being written).
#include "Unit1.h"

void TForm1::buildCountersPage(QWidget *) {}
void TForm1::CountersStep(uintptr_t) {}
void TForm1::CheckBoxClick(int) {}
void TForm1::Button4Click() {}
void TForm1::Button5Click() {}
