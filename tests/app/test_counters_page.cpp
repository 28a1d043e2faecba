// The counters page against the simulated card: what one tick reads and shows, what
// the check boxes and the two buttons write, and what survives a close.
#include "app_fixture.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <cstdio>

namespace {

std::string write(unsigned offset, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, "W 0 %03x %02x", offset, value);
    return text;
}

std::string read(unsigned offset) {
    char text[32];
    std::snprintf(text, sizeof text, "R 0 %03x", offset);
    return text;
}

// A read line without its value, so a tick's shape can be compared whatever it read.
std::string withoutReadValue(const std::string &line) {
    return line.rfind("R ", 0) == 0 ? line.substr(0, line.rfind(' ')) : line;
}

} // namespace

class CountersPageTest : public WindowTest {
  protected:
    void startWithCardOpen() {
        start();
        openCard();
        ASSERT_TRUE(control<QPushButton>("Button2")->isEnabled()) << "the card did not open";
        oxsim::ClearTrace();
    }

    QString caption(const QString &label) { return control<QLabel>(label)->text(); }
    QCheckBox *box(int number) {
        return control<QCheckBox>(QStringLiteral("CheckBox%1").arg(number));
    }
    bool enabled(const char *button) { return control<QPushButton>(button)->isEnabled(); }
    // On the box's square, the part that shows in the white column.
    void clickBox(int number) {
        QCheckBox *b = box(number);
        QStyleOptionButton option;
        option.initFrom(b);
        const QRect square = b->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, b);
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, square.center());
    }

    // Drives the input of each counter so that its level reads as the given bit.
    void setLevels(uint32_t highBits) {
        for (unsigned n = 0; n < oxsim::kCounters; ++n) {
            oxsim::SetInputFrequency(0, n, (highBits >> n) & 1U ? 1.0 : 0.0);
        }
        oxsim::AdvanceClock(std::chrono::milliseconds(250));
    }
};

TEST_F(CountersPageTest, OneTickReadsAllCountersThenLevelsThenDin) {
    startWithCardOpen();
    std::vector<std::string> expected;
    for (unsigned n = 0; n < 24; ++n) {
        expected.push_back(write(0x420, n));
        for (unsigned offset : {0x40C, 0x408, 0x404, 0x400}) {
            expected.push_back(read(offset));
        }
    }
    expected.push_back(write(0x420, 0x80));
    for (unsigned offset : {0x400, 0x404, 0x408, 0x000}) {
        expected.push_back(read(offset));
    }

    // The shape is the same whichever page is shown.
    auto *pages = control<QTabWidget>("PageControl1");
    for (int page : {0, 1, 3}) {
        pages->setCurrentIndex(page);
        oxsim::ClearTrace();
        tick();
        const std::vector<std::string> lines = oxsim::Trace();
        std::vector<std::string> shape;
        for (const std::string &line : lines) {
            shape.push_back(withoutReadValue(line));
        }
        EXPECT_EQ(shape, expected) << "page " << page;
        EXPECT_EQ(oxsim::ReadCardState(0).sel, 0x80);
    }
}

TEST_F(CountersPageTest, CounterBytesShowAsUnsignedDecimal) {
    startWithCardOpen();
    const std::pair<unsigned, uint32_t> values[] = {
        {0, 4294967295U}, {1, 2147483648U}, {2, 16777216U}, {3, 1},
        {4, 0},           {5, 258},         {12, 12},       {23, 3000000000U}};
    for (auto [n, v] : values) {
        oxsim::SetCounter(0, n, v);
    }
    tick();
    for (auto [n, v] : values) {
        EXPECT_EQ(caption(QStringLiteral("Label%1").arg(40 + n)), QString::number(v)) << "CNT" << n;
    }

    // The longest value stays inside the white column.
    QLabel *longest = control<QLabel>("Label40");
    auto *panel = control<QFrame>("Panel1");
    EXPECT_EQ(longest->parentWidget(), panel);
    EXPECT_GE(longest->width(), longest->fontMetrics().horizontalAdvance("4294967295"));
    EXPECT_LE(longest->geometry().right(), panel->contentsRect().right());
}

TEST_F(CountersPageTest, InputLevelsShowBitByBitInCounterOrder) {
    startWithCardOpen();
    // 0xA5 for CNT0 to CNT7, CNT8 alone in the second byte, CNT23 alone in the third.
    setLevels(0xA5U | 1U << 8 | 1U << 23);
    tick();
    const char *expected = "10100101"
                           "10000000"
                           "00000001";
    for (int n = 0; n < 24; ++n) {
        EXPECT_EQ(caption(QStringLiteral("Label%1").arg(64 + n)), QString(QChar(expected[n])))
            << "CNT" << n;
    }

    setLevels(0);
    tick();
    for (int n = 0; n < 24; ++n) {
        EXPECT_EQ(caption(QStringLiteral("Label%1").arg(64 + n)), "0") << "CNT" << n;
    }
}

TEST_F(CountersPageTest, StartStopWritesTheMaskOfItsBoxes) {
    startWithCardOpen();
    EXPECT_FALSE(enabled("Button4"));
    clickBox(4);                             // CNT3
    QTest::keyClick(box(11), Qt::Key_Space); // CNT10, by keyboard
    EXPECT_TRUE(enabled("Button4"));
    EXPECT_TRUE(registerLines().empty()) << "a click wrote to the card";

    click("Button4");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x400, 0x08), write(0x404, 0x04), write(0x408, 0)}));
    EXPECT_FALSE(enabled("Button4"));
    EXPECT_TRUE(box(4)->isChecked());
    EXPECT_TRUE(box(11)->isChecked());
    EXPECT_EQ(oxsim::ReadCardState(0).startMask, 1U << 3 | 1U << 10);

    // A click that clears a box enables the button too; all three bytes go again.
    oxsim::ClearTrace();
    clickBox(4);
    EXPECT_TRUE(enabled("Button4"));
    click("Button4");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x400, 0), write(0x404, 0x04), write(0x408, 0)}));

    // Ticked and cleared again: the mask the boxes show, here none.
    oxsim::ClearTrace();
    // Anywhere in the visible strip of a box, not only on its square.
    QTest::mouseClick(box(24), Qt::LeftButton, Qt::NoModifier, QPoint(24, 8));
    EXPECT_TRUE(box(24)->isChecked());
    QTest::mouseClick(box(24), Qt::LeftButton, Qt::NoModifier, QPoint(24, 8));
    clickBox(11);
    EXPECT_TRUE(enabled("Button4"));
    click("Button4");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x400, 0), write(0x404, 0), write(0x408, 0)}));
    EXPECT_EQ(oxsim::ReadCardState(0).startMask, 0U);
}

TEST_F(CountersPageTest, ZeroClearsItsBoxesBeforeWritingTheClearMask) {
    startWithCardOpen();
    clickBox(25); // CNT0
    clickBox(48); // CNT23
    EXPECT_TRUE(enabled("Button5"));

    // The trace at the moment each box is cleared shows that no write came before.
    std::vector<std::size_t> linesWhenCleared;
    for (int number : {25, 48}) {
        QObject::connect(box(number), &QCheckBox::toggled, form.get(), [&](bool on) {
            if (!on) {
                linesWhenCleared.push_back(registerLines().size());
            }
        });
    }
    click("Button5");
    EXPECT_EQ(linesWhenCleared, (std::vector<std::size_t>{0, 0}));
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x410, 0x01), write(0x414, 0), write(0x418, 0x80)}));
    for (int number = 25; number <= 48; ++number) {
        EXPECT_FALSE(box(number)->isChecked()) << "CheckBox" << number;
    }
    EXPECT_FALSE(enabled("Button5"));
    const std::vector<oxsim::ClearOp> clears = oxsim::ReadCardState(0).clears;
    ASSERT_EQ(clears.size(), 3U);
    EXPECT_EQ(clears[0].mask, 0x01);
    EXPECT_EQ(clears[2].mask, 0x80);
}

TEST_F(CountersPageTest, StartStopAndZeroBoxesAreIndependent) {
    startWithCardOpen();
    clickBox(1);  // Start/Stop CNT0
    clickBox(25); // zero CNT0
    clickBox(33); // zero CNT8

    click("Button4");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x400, 0x01), write(0x404, 0), write(0x408, 0)}));
    EXPECT_TRUE(box(25)->isChecked());
    EXPECT_TRUE(enabled("Button5"));

    oxsim::ClearTrace();
    clickBox(2);
    click("Button5");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x410, 0x01), write(0x414, 0x01), write(0x418, 0)}));
    EXPECT_TRUE(box(1)->isChecked());
    EXPECT_TRUE(box(2)->isChecked());
    EXPECT_TRUE(enabled("Button4"));
}

TEST_F(CountersPageTest, WithoutAnOpenCardNothingReachesTheCard) {
    start();
    oxsim::SetCounter(0, 0, 77);
    oxsim::ClearTrace();
    for (int number : {1, 24, 25, 48}) {
        clickBox(number);
        EXPECT_FALSE(box(number)->isChecked()) << "CheckBox" << number;
        QTest::keyClick(box(number), Qt::Key_Space);
        EXPECT_FALSE(box(number)->isChecked()) << "CheckBox" << number << " by keyboard";
    }
    EXPECT_FALSE(enabled("Button4"));
    EXPECT_FALSE(enabled("Button5"));
    click("Button4");
    click("Button5");
    tick();
    EXPECT_EQ(caption("Label40"), "0");
    EXPECT_TRUE(registerLines().empty()) << registerLines().front();
}

TEST_F(CountersPageTest, PageStateCarriesOverACloseAndReopen) {
    startWithCardOpen();
    oxsim::SetCounter(0, 0, 77);
    setLevels(1U);
    tick();
    clickBox(1);
    clickBox(30);
    click("Button2"); // close

    EXPECT_FALSE(enabled("Button4"));
    EXPECT_FALSE(enabled("Button5"));
    oxsim::ClearTrace();
    oxsim::SetCounter(0, 0, 78);
    tick();
    EXPECT_TRUE(registerLines().empty());
    EXPECT_EQ(caption("Label40"), "77");
    EXPECT_EQ(caption("Label64"), "1");
    EXPECT_TRUE(box(1)->isChecked());
    EXPECT_TRUE(box(30)->isChecked());

    // A click on a ticked box with no card open clears it.
    clickBox(30);
    EXPECT_FALSE(box(30)->isChecked());
    EXPECT_FALSE(enabled("Button5"));

    oxsim::ClearTrace();
    openCard();
    ASSERT_TRUE(control<QPushButton>("Button2")->isEnabled());
    EXPECT_FALSE(enabled("Button4"));
    EXPECT_FALSE(enabled("Button5"));
    EXPECT_TRUE(box(1)->isChecked());
    // The download feeds DATA0 only and ends with the version read; the newly opened
    // card gets no start/stop or clear mask and no port byte.
    const std::vector<std::string> lines = registerLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(withoutReadValue(lines.back()), read(0x5FC));
    for (const std::string &line : lines) {
        for (const char *banned : {"W 0 004", "W 0 404", "W 0 408", "W 0 41", "W 0 5a0"}) {
            EXPECT_NE(line.rfind(banned, 0), 0U) << line;
        }
    }

    oxsim::ClearTrace();
    oxsim::SetCounter(0, 0, 78);
    tick();
    EXPECT_EQ(caption("Label40"), "78");
    oxsim::ClearTrace();
    clickBox(2);
    EXPECT_TRUE(enabled("Button4"));
    click("Button4");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{write(0x400, 0x03), write(0x404, 0), write(0x408, 0)}));
}

namespace {
QPoint onPage(QWidget *w, QWidget *page) {
    return w->mapTo(page, QPoint(0, 0));
}
} // namespace

TEST_F(CountersPageTest, EveryRowSitsOnItsNameLineInWhiteColumns) {
    start();
    auto *page = control<QWidget>("TabSheet2");
    struct Column {
        int left[2]; // left and right half
        int firstLabel;
        const char *prefix;
        int cellLeft;
    };
    const Column columns[] = {{{64, 408}, 40, "Label", 8},
                              {{152, 496}, 64, "Label", 13},
                              {{192, 536}, 1, "CheckBox", 19},
                              {{248, 592}, 25, "CheckBox", 18}};
    const int nameTops[12] = {40, 56, 72, 88, 128, 144, 160, 176, 216, 232, 248, 264};
    for (int i = 0; i < 24; ++i) {
        const int half = i / 12;
        auto *name = control<QLabel>(QStringLiteral("Label%1").arg(half == 0 ? 8 + i : 12 + i));
        EXPECT_EQ(name->text(), QStringLiteral("CNT%1").arg(i));
        EXPECT_EQ(onPage(name, page), QPoint(half == 0 ? 16 : 352, nameTops[i % 12]));
        for (const Column &c : columns) {
            auto *cell =
                control<QWidget>(QStringLiteral("%1%2").arg(c.prefix).arg(c.firstLabel + i));
            auto *panel = qobject_cast<QFrame *>(cell->parentWidget());
            ASSERT_NE(panel, nullptr) << cell->objectName().toStdString();
            EXPECT_EQ(onPage(cell, page), QPoint(c.left[half] + c.cellLeft, nameTops[i % 12]))
                << cell->objectName().toStdString();
            EXPECT_EQ(panel->x(), c.left[half]);
            EXPECT_EQ(panel->height(), 81);
            EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
            EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(Qt::white));
            EXPECT_EQ(cell->palette().color(QPalette::Window), QColor(Qt::white));
            EXPECT_TRUE(panel->autoFillBackground());
        }
        EXPECT_EQ(box(1 + i)->size(), QSize(97, 17));
        EXPECT_TRUE(box(1 + i)->text().isEmpty());
    }
    EXPECT_EQ(control<QFrame>("Panel13")->geometry(), QRect(408, 32, 81, 81));
    EXPECT_EQ(control<QFrame>("Panel2")->geometry(), QRect(152, 32, 33, 81));
    EXPECT_EQ(control<QFrame>("Panel24")->geometry(), QRect(592, 208, 49, 81));

    const std::pair<const char *, QString> headings[] = {
        {"Label20", "Hodnota"},  {"Label21", "Vstup"},   {"Label22", "Start/Stop"},
        {"Label23", "Nulování"}, {"Label36", "Hodnota"}, {"Label39", "Nulování"}};
    for (const auto &[label, text] : headings) {
        EXPECT_EQ(caption(label), text);
        EXPECT_EQ(control<QLabel>(label)->y(), 16);
    }
    EXPECT_EQ(control<QPushButton>("Button4")->geometry(), QRect(480, 312, 75, 25));
    EXPECT_EQ(control<QPushButton>("Button5")->geometry(), QRect(568, 312, 75, 25));
    EXPECT_EQ(control<QPushButton>("Button4")->text(), "Start/Stop");
    EXPECT_EQ(control<QPushButton>("Button5")->text(), "Nuluj");
}

TEST_F(CountersPageTest, TabWalksTheBoxesPanelByPanel) {
    start();
    QStringList expected;
    // Left half row by row (Start/Stop panel, then zero panel), then the right half
    // column by column, as the panels' tab order has it.
    for (int group = 0; group < 3; ++group) {
        for (int first : {1 + 4 * group, 25 + 4 * group}) {
            for (int k = 0; k < 4; ++k) {
                expected << QStringLiteral("CheckBox%1").arg(first + k);
            }
        }
    }
    for (int first : {13, 37}) {
        for (int k = 0; k < 12; ++k) {
            expected << QStringLiteral("CheckBox%1").arg(first + k);
        }
    }
    expected << "Button4"
             << "Button5";
    EXPECT_EQ(tabOrder("TabSheet2"), expected);
}
