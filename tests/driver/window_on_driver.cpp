// The window on this library, loaded in the stand-in's place through LD_LIBRARY_PATH,
// and a fake tree: the cards are listed, and opening one starts the download, which
// fails since nothing answers in a file.
#include "Unit1.h"
#include "fake_sysfs.h"
#include "ox9162_driver.h"
#include "test_paths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(WindowOnDriver, ListsTheCardsAndReportsTheFailedDownload) {
    Dl_info library{};
    ASSERT_NE(dladdr(reinterpret_cast<void *>(&OX9162_Open), &library), 0);
    ASSERT_EQ(std::filesystem::path(library.dli_fname).parent_path(),
              std::filesystem::path(TestPath("DRIVER_DIR")))
        << "runs on " << library.dli_fname << "; LD_LIBRARY_PATH must name "
        << TestPath("DRIVER_DIR");

    const FakeSysfs tree({{"0000:04:02.0", 0x1b5e, 0x0123},
                          {"0000:03:05.0", 0x1b5e, 0x0456},
                          {"0000:02:0d.0", 0x1b5e, 0x0123}},
                         "vendor 0x1b5e\n");
    tree.Use();
    auto form = std::make_unique<TForm1>();
    Form1 = form.get();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

    auto *grid = form->findChild<QTableWidget *>("StringGrid1");
    auto *status = form->findChild<QLabel *>("Label7");
    ASSERT_TRUE(grid && status);
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(1, 1)->text(), "2");
    EXPECT_EQ(grid->item(1, 2)->text(), "13");
    EXPECT_EQ(grid->item(2, 1)->text(), "4");
    EXPECT_EQ(grid->item(2, 2)->text(), "2");

    // A second try after the failure opens the card again and downloads again.
    grid->setCurrentCell(1, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(form->findChild<QPushButton *>("Button1"), Qt::LeftButton);
        EXPECT_EQ(status->text(), QString::fromUtf8("Chyba download karty na pozici 2/13"));
        EXPECT_LT(timer.elapsed(), 10000);
    }
    form.reset();
    Form1 = nullptr;
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
