// One QApplication for all window tests: on Linux on the offscreen platform; on
// Windows on Qt's own, on the virtual display under Wine, so that text is measured in
// the system's fonts as the window's is.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
#ifndef _WIN32
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
