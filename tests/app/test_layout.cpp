// The window's frame and the card selection page as laid out: places, sizes, texts,
// colours, the grid's behaviour under mouse and keys, the pictures, the tab order;
// and a picture of each page with a card open, written into the build tree.
#include "app_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>

namespace {

const QColor kSilver(192, 192, 192);

struct Place {
    const char *name;
    QRect geometry; // for labels: left, top, 0 (sized to the text), 13
    const char *text;
    bool blue;
};

const Place kPlaces[] = {
    {"Label1", {48, 40, 0, 13}, "Počet nalezených karet ZOVAK", false},
    {"Label5", {312, 40, 0, 13}, "1", true},
    {"Label2", {48, 64, 0, 13}, "Počet nalezených karet KRV-5316", false},
    {"Label6", {312, 64, 0, 13}, "1", true},
    {"Label3", {48, 112, 0, 13}, "Výběr karty KRV-5316", false},
    {"Label4", {48, 296, 0, 13}, "Status karty", false},
    {"Label7", {128, 296, 0, 13}, "Není otevřena žádná karta", true},
    {"StringGrid1", {48, 128, 320, 129}, "", false},
    {"Image1", {472, 32, 97, 57}, "", false},
    {"Button1", {472, 128, 97, 25}, "Otevřít kartu", false},
    {"Button2", {472, 168, 97, 25}, "Zavřít kartu", false},
    {"Button3", {472, 232, 97, 25}, "Konec", false},
};

} // namespace

TEST_F(WindowTest, FrameIsFixedCentredSilverAndNamed) {
    start();
    EXPECT_EQ(form->windowTitle(), "  OX_KRV5316  -  test PCI karty ZOVAK");
    EXPECT_EQ(form->size(), QSize(681, 385));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the frame can be resized";
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->palette().color(QPalette::Window), kSilver);
    EXPECT_EQ(form->frameGeometry().center(),
              QGuiApplication::primaryScreen()->availableGeometry().center());
    EXPECT_EQ(QApplication::applicationName(), "OX_KRV5316");
    EXPECT_EQ(QApplication::applicationDisplayName(), "OX_KRV5316");
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(QApplication::windowIcon().cacheKey(), form->windowIcon().cacheKey());

    const QFontInfo font(form->font());
    EXPECT_TRUE(font.family() == "MS Sans Serif" || font.family() == "Microsoft Sans Serif" ||
                font.family() == "Liberation Sans")
        << font.family().toStdString() << ": no face with the layout's metrics";
    EXPECT_EQ(font.pixelSize(), 11);

    auto *timer = control<QTimer>("Timer1");
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
}

TEST_F(WindowTest, FourPagesFirstShown) {
    start();
    auto *pages = control<QTabWidget>("PageControl1");
    EXPECT_EQ(pages->geometry(), QRect(0, 0, 681, 385));
    const QStringList captions = {"Výběr karty", "Čítače", "Digitální vstupy/výstupy", "Nápověda"};
    ASSERT_EQ(pages->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
        EXPECT_EQ(pages->widget(i)->palette().color(QPalette::Window), kSilver);
    }
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(WindowTest, SelectionPageControlsSitWhereDrawn) {
    start("0123@2/13");
    auto *page = control<QWidget>("TabSheet1");
    for (const Place &place : kPlaces) {
        SCOPED_TRACE(place.name);
        auto *w = control<QWidget>(place.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), page);
        EXPECT_EQ(w->pos(), place.geometry.topLeft());
        if (auto *label = qobject_cast<QLabel *>(w); label != nullptr && label->pixmap().isNull()) {
            EXPECT_EQ(label->text(), QString::fromUtf8(place.text));
            EXPECT_EQ(label->height(), 13);
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
            EXPECT_LE(label->geometry().right(), page->width());
            EXPECT_FALSE(label->wordWrap());
            const QColor text = label->palette().color(QPalette::WindowText);
            EXPECT_EQ(text == QColor(Qt::blue), place.blue);
        } else {
            EXPECT_EQ(w->size(), place.geometry.size());
        }
        if (auto *button = qobject_cast<QPushButton *>(w)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(place.text));
        }
    }
}

TEST_F(WindowTest, GridIsThreeFixedColumnsOfTwentyPixelRows) {
    start("0123@2/13;0123@4/2");
    auto *grid = control<QTableWidget>("StringGrid1");
    EXPECT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->columnWidth(0), 86);
    EXPECT_EQ(grid->columnWidth(1), 102);
    EXPECT_EQ(grid->columnWidth(2), 126);
    EXPECT_EQ(grid->rowHeight(1), 20);
    EXPECT_EQ(grid->horizontalHeader()->height(), 20);
    EXPECT_FALSE(grid->verticalHeader()->isVisible()) << "a fixed column";
    EXPECT_TRUE(grid->showGrid());
    EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(WindowTest, GridTakesOneCurrentCellAndNoEdits) {
    start("0123@2/13;0123@4/2");
    auto *grid = control<QTableWidget>("StringGrid1");
    auto cellCentre = [&](int r, int c) {
        return grid->visualRect(grid->model()->index(r, c)).center();
    };

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(2, 2));
    EXPECT_EQ(grid->currentRow(), 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCentre(1, 0));
    EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 1) << "a range was selected";
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(1, 1));
    QTest::keyClicks(grid, "77");
    EXPECT_EQ(grid->viewport()->findChild<QLineEdit *>(), nullptr) << "a cell editor opened";
    EXPECT_EQ(grid->item(1, 1)->text(), "2");

    // The header row is not a card: the arrow keys stop at row 1.
    grid->setCurrentCell(1, 0);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(grid->currentRow(), 1);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(grid->currentRow(), 2);
}

TEST_F(WindowTest, TabKeyWalksGridThenEnabledButtons) {
    start("0123@2/13");
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto *grid = control<QTableWidget>("StringGrid1");
    grid->setFocus();
    ASSERT_TRUE(grid->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("Button1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // Button2 is disabled
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("Button3"));

    openCard(1);
    grid->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // Button1 is disabled now
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("Button2"));
}

TEST_F(WindowTest, PicturesAreSixteenColourBitmapsDrawnUnscaled) {
    start();
    const QImage logo(":/ox_krv5316/logo.bmp");
    const QImage icon(":/ox_krv5316/icon.bmp");
    EXPECT_EQ(logo.size(), QSize(93, 52));
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(logo.colorCount(), 16);
    EXPECT_EQ(icon.colorCount(), 16);
    EXPECT_EQ(logo.pixelColor(0, 0), kSilver) << "the logo's ground is the window's silver";

    auto *image = control<QLabel>("Image1");
    const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage drawn = logo.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, 93, 52), drawn) << "not drawn 1:1 from the top-left corner";
    EXPECT_EQ(shown.pixelColor(95, 55), kSilver);
}

// Not a check of its own: pictures of the four pages for the documentation.
TEST_F(WindowTest, PicturesOfThePagesWithACardOpen) {
    start("0456@3/5;0123@2/13;0123@4/2");
    openCard(1);
    ASSERT_TRUE(control<QPushButton>("Button2")->isEnabled());
    auto *pages = control<QTabWidget>("PageControl1");
    pages->setCurrentIndex(1);
    for (const char *box : {"CheckBox1", "CheckBox2", "CheckBox5", "CheckBox13", "CheckBox24"}) {
        QTest::keyClick(control<QWidget>(box), Qt::Key_Space);
    }
    click("Button4");
    oxsim::SetDin(1, 0xA5);
    oxsim::AdvanceClock(std::chrono::milliseconds(1250));
    tick();

    const QString dir = QCoreApplication::applicationDirPath() + "/../screenshots";
    ASSERT_TRUE(QDir().mkpath(dir));
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        const QImage shot = form->grab().toImage();
        EXPECT_EQ(shot.size(), QSize(681, 385));
        EXPECT_TRUE(shot.save(QStringLiteral("%1/page%2.png").arg(dir).arg(i + 1)));
    }
}
