// Entry of the program: one application, one window, its message loop.
#include "Unit1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TForm1 window;
    Form1 = &window;
    window.show();
    const int code = QApplication::exec();
    Form1 = nullptr;
    return code;
}
