// The digital I/O page against the simulated card: DIN shown bit by bit, the bit
// fields toggled by any key, the running bytes, and the "Zápis" buttons.
#include "app_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <cstdio>

namespace {

std::string access(char kind, unsigned offset, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, "%c 0 %03x %02x", kind, offset, value);
    return text;
}

// DOUT fields are Edit1 to Edit8, X-DOUT fields Edit10 to Edit17.
QString doutField(int bit) {
    return QStringLiteral("Edit%1").arg(1 + bit);
}
QString xdoutField(int bit) {
    return QStringLiteral("Edit%1").arg(10 + bit);
}

} // namespace

class DioPageTest : public WindowTest {
  protected:
    void startOnPage(bool openTheCard) {
        start();
        if (openTheCard) {
            openCard();
            ASSERT_TRUE(control<QPushButton>("Button2")->isEnabled()) << "the card did not open";
        }
        control<QTabWidget>("PageControl1")->setCurrentWidget(control<QWidget>("TabSheet3"));
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
        oxsim::ClearTrace();
    }

    QLineEdit *field(const QString &name) { return control<QLineEdit>(name); }
    QString text(const QString &name) { return field(name)->text(); }
    QString caption(const QString &label) { return control<QLabel>(label)->text(); }

    // One key going down (and up again) in a field, as the keyboard would deliver it.
    void key(const QString &name, Qt::Key code, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString &typed = QString(), bool autoRepeat = false) {
        QTest::simulateEvent(field(name), true, code, modifiers, typed, autoRepeat);
        QTest::simulateEvent(field(name), false, code, modifiers, typed, autoRepeat);
    }
};

TEST_F(DioPageTest, DinShowsBitByBitAndAsAByte) {
    startOnPage(true);
    oxsim::SetDin(0, 0xA5);
    tick();
    EXPECT_EQ(caption("Label125"), "165");
    const char *bits = "10100101"; // DIN.0 first
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(caption(QStringLiteral("Label%1").arg(117 + bit)), QString(QChar(bits[bit])))
            << "DIN." << bit;
    }
    EXPECT_EQ(registerLines().back(), access('R', 0x000, 0xA5));

    oxsim::SetDin(0, 0xFF);
    tick();
    EXPECT_EQ(caption("Label125"), "255");
    EXPECT_EQ(caption("Label118"), "1");
}

TEST_F(DioPageTest, EveryKeyDownTogglesItsField) {
    startOnPage(true);
    const QString f = doutField(2); // weight 4
    struct Press {
        Qt::Key code;
        Qt::KeyboardModifiers modifiers;
        const char *typed;
        bool autoRepeat;
    };
    const Press presses[] = {
        {Qt::Key_A, Qt::NoModifier, "a", false},
        {Qt::Key_7, Qt::NoModifier, "7", false},
        {Qt::Key_Space, Qt::NoModifier, " ", false},
        {Qt::Key_Left, Qt::NoModifier, "", false},
        {Qt::Key_Down, Qt::NoModifier, "", false},
        {Qt::Key_Return, Qt::NoModifier, "\r", false},
        {Qt::Key_Shift, Qt::ShiftModifier, "", false},
        {Qt::Key_Control, Qt::ControlModifier, "", false},
        {Qt::Key_Delete, Qt::NoModifier, "", false},
        {Qt::Key_Backspace, Qt::NoModifier, "\b", false},
        {Qt::Key_X, Qt::NoModifier, "x", true},
        {Qt::Key_X, Qt::NoModifier, "x", true},
        {Qt::Key_X, Qt::NoModifier, "x", true},
    };
    int toggles = 0;
    for (const Press &p : presses) {
        key(f, p.code, p.modifiers, QString::fromLatin1(p.typed), p.autoRepeat);
        ++toggles;
        const bool on = toggles % 2 == 1;
        EXPECT_EQ(text(f), on ? "1" : "0") << "after key " << p.code;
        EXPECT_EQ(caption("Label126"), on ? "4" : "0") << "after key " << p.code;
        EXPECT_EQ(DoutValue, on ? 4 : 0);
    }
    EXPECT_TRUE(registerLines().empty()) << "a toggle wrote to the card";
}

TEST_F(DioPageTest, TabKeysMoveTheFocusAndToggleNothing) {
    startOnPage(true);
    QLineEdit *first = field(doutField(0));
    first->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(form->focusWidget(), first);

    key(doutField(0), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), field(doutField(1)));
    key(doutField(1), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(form->focusWidget(), first);
    key(doutField(0), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_NE(form->focusWidget(), first);
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(text(doutField(bit)), "0");
    }
    EXPECT_EQ(DoutValue, 0);
    EXPECT_EQ(caption("Label126"), "0");

    // Typed as Shift, then Tab: the Shift key goes down in the field first and, like
    // any modifier on its own, toggles it; the Tab only moves on.
    field(doutField(3))->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field(doutField(3)), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(form->focusWidget(), field(doutField(2)));
    EXPECT_EQ(text(doutField(3)), "1");
    EXPECT_EQ(DoutValue, 8);
}

TEST_F(DioPageTest, CtrlTabTurnsThePageBothWaysAndTogglesNothing) {
    startOnPage(true);
    auto *pages = control<QTabWidget>("PageControl1");
    struct Turn {
        Qt::Key code;
        Qt::KeyboardModifiers modifiers;
        const char *page;
    };
    const Turn turns[] = {
        {Qt::Key_Tab, Qt::ControlModifier, "TabSheet4"},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "TabSheet2"},
        {Qt::Key_Backtab, Qt::ControlModifier, "TabSheet2"},
    };
    for (const Turn &t : turns) {
        pages->setCurrentWidget(control<QWidget>("TabSheet3"));
        field(doutField(3))->setFocus(Qt::TabFocusReason);
        key(doutField(3), t.code, t.modifiers);
        EXPECT_EQ(pages->currentWidget()->objectName().toStdString(), t.page) << "key " << t.code;
        EXPECT_EQ(text(doutField(3)), "0") << "key " << t.code;
    }
    EXPECT_EQ(DoutValue, 0);

    // Typed as Ctrl, then Tab: the Ctrl goes down in the field first and toggles it once.
    pages->setCurrentWidget(control<QWidget>("TabSheet3"));
    field(doutField(3))->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field(doutField(3)), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentWidget()->objectName().toStdString(), "TabSheet4");
    EXPECT_EQ(text(doutField(3)), "1");
    EXPECT_EQ(caption("Label126"), "8");
}

TEST_F(DioPageTest, TypedCharactersAndPastesNeverReachTheText) {
    startOnPage(true);
    const QString f = xdoutField(0);
    QTest::keyClicks(field(f), "abc"); // three key-downs
    EXPECT_EQ(text(f), "1");

    // Ctrl+V goes down as two keys, Ctrl and V: two toggles, nothing pasted.
    QGuiApplication::clipboard()->setText("1111");
    QTest::keyClick(field(f), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text(f), "1");
    EXPECT_EQ(XDoutValue, 1);
    EXPECT_EQ(caption("Label127"), "1");

    // No context menu to cut, paste or delete from.
    QTest::mouseClick(field(f), Qt::RightButton);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(field(f)->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_FALSE(field(f)->acceptDrops());
}

TEST_F(DioPageTest, ByteCellsFollowTheFields) {
    startOnPage(true);
    for (int bit = 0; bit < 8; ++bit) {
        QTest::keyClick(field(doutField(bit)), Qt::Key_1);
        QTest::keyClick(field(xdoutField(bit)), Qt::Key_1);
    }
    EXPECT_EQ(caption("Label126"), "255");
    EXPECT_EQ(caption("Label127"), "255");
    QTest::keyClick(field(doutField(7)), Qt::Key_0);
    EXPECT_EQ(caption("Label126"), "127");
    EXPECT_EQ(caption("Label127"), "255");
    QTest::keyClick(field(xdoutField(7)), Qt::Key_0);
    QTest::keyClick(field(xdoutField(0)), Qt::Key_0);
    EXPECT_EQ(caption("Label127"), "126");
    EXPECT_EQ(DoutValue, 127);
    EXPECT_EQ(XDoutValue, 126);

    // A text other than "0" becomes "0" and takes its weight off, modulo 256.
    for (int bit = 0; bit < 8; ++bit) {
        if (text(doutField(bit)) == "1") {
            QTest::keyClick(field(doutField(bit)), Qt::Key_0);
        }
    }
    field(doutField(2))->setText("?");
    QTest::keyClick(field(doutField(2)), Qt::Key_0);
    EXPECT_EQ(text(doutField(2)), "0");
    EXPECT_EQ(caption("Label126"), "252");
}

TEST_F(DioPageTest, WriteButtonsWriteTheRunningByteEachTime) {
    startOnPage(true);
    QTest::keyClick(field(doutField(0)), Qt::Key_Space);
    QTest::keyClick(field(doutField(2)), Qt::Key_Space);
    QTest::keyClick(field(xdoutField(7)), Qt::Key_Space);
    EXPECT_TRUE(registerLines().empty());

    click("Button6");
    click("Button6");
    click("Button7");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{access('W', 0x004, 0x05), access('W', 0x004, 0x05),
                                        access('W', 0x5A0, 0x80)}));
    const oxsim::CardState card = oxsim::ReadCardState(0);
    EXPECT_EQ(card.dout, 0x05);
    EXPECT_EQ(card.xdout, 0x80);
    EXPECT_TRUE(control<QPushButton>("Button6")->isEnabled());
}

TEST_F(DioPageTest, LoopbackShowsTheWrittenByteOnTheNextTick) {
    startOnPage(true);
    for (int bit : {0, 1, 7}) {
        QTest::keyClick(field(doutField(bit)), Qt::Key_Space);
    }
    click("Button6");
    tick();
    EXPECT_EQ(caption("Label125"), "131");
    EXPECT_EQ(caption("Label117"), "1");
    EXPECT_EQ(caption("Label119"), "0");
    EXPECT_EQ(caption("Label124"), "1");
    const std::vector<std::string> lines = registerLines();
    EXPECT_EQ(lines.front(), access('W', 0x004, 0x83));
    EXPECT_EQ(lines.back(), access('R', 0x000, 0x83));
}

TEST_F(DioPageTest, WithoutAnOpenCardKeysAndButtonsDoNothing) {
    startOnPage(false);
    QTest::keyClicks(field(doutField(0)), "a1 ");
    QTest::keyClick(field(xdoutField(3)), Qt::Key_Shift);
    EXPECT_EQ(text(doutField(0)), "0");
    EXPECT_EQ(text(xdoutField(3)), "0");
    EXPECT_EQ(DoutValue, 0);
    EXPECT_EQ(XDoutValue, 0);
    EXPECT_EQ(caption("Label126"), "0");
    EXPECT_FALSE(control<QPushButton>("Button6")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("Button7")->isEnabled());
    click("Button6");
    click("Button7");
    oxsim::SetDin(0, 0xA5);
    tick();
    EXPECT_EQ(caption("Label125"), "0");
    EXPECT_TRUE(registerLines().empty()) << registerLines().front();
}

TEST_F(DioPageTest, FieldsAndBytesCarryOverACloseAndReopen) {
    startOnPage(true);
    oxsim::SetDin(0, 0x3C);
    tick();
    QTest::keyClick(field(doutField(4)), Qt::Key_Space);
    QTest::keyClick(field(xdoutField(1)), Qt::Key_Space);
    click("Button2"); // close

    EXPECT_FALSE(control<QPushButton>("Button6")->isEnabled());
    oxsim::SetDin(0, 0x00);
    oxsim::ClearTrace();
    tick();
    EXPECT_EQ(caption("Label125"), "60");
    QTest::keyClick(field(doutField(5)), Qt::Key_Space); // ignored while closed
    EXPECT_EQ(text(doutField(5)), "0");

    openCard();
    ASSERT_TRUE(control<QPushButton>("Button6")->isEnabled());
    EXPECT_EQ(text(doutField(4)), "1");
    EXPECT_EQ(text(xdoutField(1)), "1");
    EXPECT_EQ(caption("Label126"), "16");
    EXPECT_EQ(caption("Label127"), "2");
    for (const std::string &line : registerLines()) {
        EXPECT_NE(line.rfind("W 0 004", 0), 0U) << line;
        EXPECT_NE(line.rfind("W 0 5a0", 0), 0U) << line;
    }

    oxsim::ClearTrace();
    control<QTabWidget>("PageControl1")->setCurrentWidget(control<QWidget>("TabSheet3"));
    click("Button6");
    click("Button7");
    EXPECT_EQ(registerLines(),
              (std::vector<std::string>{access('W', 0x004, 0x10), access('W', 0x5A0, 0x02)}));
}

TEST_F(DioPageTest, BitRowsSitOnTheirCaptionLines) {
    startOnPage(false);
    struct Group {
        const char *box;
        QRect geometry;
        const char *title;
        const char *panel;
        int firstCaption;
        const char *port;
        const char *cellPrefix;
        int firstCell;
        const char *byteCell;
    };
    const Group groups[] = {
        {"GroupBox1", {16, 16, 137, 257}, " DIN ", "Panel25", 90, "DIN", "Label", 117, "Label125"},
        {"GroupBox2", {176, 16, 137, 257}, " DOUT ", "Panel26", 99, "DOUT", "Edit", 1, "Label126"},
        {"GroupBox3",
         {336, 16, 137, 257},
         " X-DOUT ",
         "Panel27",
         108,
         "X-DOUT",
         "Edit",
         10,
         "Label127"},
    };
    for (const Group &g : groups) {
        auto *box = control<QGroupBox>(g.box);
        EXPECT_EQ(box->geometry(), g.geometry);
        EXPECT_EQ(box->title(), g.title);
        auto *panel = control<QFrame>(g.panel);
        EXPECT_EQ(panel->parentWidget(), box);
        EXPECT_EQ(panel->geometry(), QRect(80, 24, 41, 177));
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(Qt::white));
        for (int bit = 0; bit < 9; ++bit) {
            auto *rowCaption = control<QLabel>(QStringLiteral("Label%1").arg(g.firstCaption + bit));
            const QString port = QString::fromUtf8(g.port);
            EXPECT_EQ(rowCaption->text(), bit < 8 ? port + "." + QString::number(bit) : port);
            QWidget *cell =
                bit < 8 ? control<QWidget>(
                              QStringLiteral("%1%2").arg(g.cellPrefix).arg(g.firstCell + bit))
                        : control<QWidget>(g.byteCell);
            EXPECT_EQ(cell->parentWidget(), panel);
            EXPECT_EQ(cell->mapTo(box, QPoint(0, 0)).y(), rowCaption->y())
                << cell->objectName().toStdString();
            EXPECT_EQ(rowCaption->x(), 16);
        }
    }
    for (int bit = 0; bit < 8; ++bit) {
        for (const QString &name : {doutField(bit), xdoutField(bit)}) {
            EXPECT_EQ(field(name)->geometry(), QRect(17, 8 + 16 * bit, 121, 21));
            EXPECT_FALSE(field(name)->hasFrame());
            EXPECT_EQ(text(name), "0");
        }
    }
    for (const char *name : {"Button6", "Button7"}) {
        EXPECT_EQ(control<QPushButton>(name)->geometry(), QRect(32, 216, 75, 25));
        EXPECT_EQ(control<QPushButton>(name)->text(), "Zápis");
    }
}

TEST_F(DioPageTest, TabWalksTheFieldsThenTheButtons) {
    startOnPage(true);
    QStringList expected;
    for (int bit = 0; bit < 8; ++bit) {
        expected << doutField(bit);
    }
    expected << "Button6";
    for (int bit = 0; bit < 8; ++bit) {
        expected << xdoutField(bit);
    }
    expected << "Button7";
    EXPECT_EQ(tabOrder("TabSheet3"), expected);
}
