// Opening, closing and ending, as the operator presses the three buttons of the card
// selection page: status texts, enabled buttons, and the library calls and register
// accesses that reach the simulated card.
#include "app_fixture.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

// The cards that register accesses ("R 1 5fc 12", "W 0 3fc 01") reached.
std::set<std::string> cardsAccessed() {
    std::set<std::string> cards;
    for (const std::string &line : oxsim::Trace()) {
        std::istringstream in(line);
        std::string op, card;
        in >> op >> card;
        if (op.starts_with("R") || op.starts_with("W")) {
            cards.insert(card);
        }
    }
    return cards;
}

bool called(const std::string &prefix) {
    const std::vector<std::string> calls = Calls();
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string &call) { return call.starts_with(prefix); });
}

using Buttons = std::array<bool, 7>; // Button1 to Button7 enabled
constexpr Buttons kAtStart = {true, false, true, false, false, false, false};
constexpr Buttons kWhileOpen = {false, true, true, false, false, true, true};

// Paints of the status line as they happen, with the cursor shown at that moment.
class PaintWatch : public QObject {
  public:
    struct Paint {
        QString text;
        bool waitCursor;
    };
    std::vector<Paint> paints;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            const QCursor *cursor = QApplication::overrideCursor();
            paints.push_back({static_cast<QLabel *>(watched)->text(),
                              cursor != nullptr && cursor->shape() == Qt::WaitCursor});
        }
        return false;
    }
};

} // namespace

class OpenCloseTest : public WindowTest {
  protected:
    QString status() { return control<QLabel>("Label7")->text(); }

    Buttons buttons() {
        Buttons state{};
        for (int i = 0; i < 7; ++i) {
            state[i] = control<QPushButton>(QStringLiteral("Button%1").arg(i + 1))->isEnabled();
        }
        return state;
    }
};

struct VersionCase {
    uint8_t version;
    const char *shown;
};

void PrintTo(const VersionCase &c, std::ostream *os) {
    *os << "VERSION " << int(c.version);
}

class VersionTest : public OpenCloseTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, OpenLoadsTheFirmwareAndShowsTheVersionByte) {
    start("0456@3/5;0123@2/13");
    oxsim::SetVersion(1, GetParam().version);
    oxsim::ClearTrace();

    openCard(1);

    EXPECT_EQ(status(), QStringLiteral("Otevřena karta na pozici 2/13  (FPGA v.%1)")
                            .arg(QLatin1String(GetParam().shown)));
    EXPECT_EQ(buttons(), kWhileOpen);
    const oxsim::CardState card = oxsim::ReadCardState(1);
    EXPECT_TRUE(card.open);
    EXPECT_TRUE(card.configured);
    EXPECT_EQ(card.bytesReceived, 59215u);
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 2u) << testing::PrintToString(calls);
    EXPECT_EQ(calls[0], "OX9162_Open 1 0 = 0");
    EXPECT_TRUE(calls[1].starts_with("OX9162_BAR4_BaseAdr 1 = 0")) << calls[1];
    const std::vector<std::string> trace = oxsim::Trace();
    char versionRead[16];
    std::snprintf(versionRead, sizeof versionRead, "R 1 5fc %02x", GetParam().version);
    EXPECT_EQ(trace.back(), versionRead) << "the version is the last thing read";
    EXPECT_EQ(cardsAccessed(), std::set<std::string>{"1"});
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionTest,
                         testing::Values(VersionCase{0x12, "1.2"}, VersionCase{0x1A, "1.10"},
                                         VersionCase{0x00, "0.0"}, VersionCase{0xFF, "15.15"}));

TEST_F(OpenCloseTest, DownloadStatusIsPaintedUnderAWaitCursor) {
    start("0123@2/13");
    PaintWatch watch;
    control<QLabel>("Label7")->installEventFilter(&watch);

    openCard(1);

    control<QLabel>("Label7")->removeEventFilter(&watch);
    const auto painted = std::find_if(watch.paints.begin(), watch.paints.end(), [](auto &p) {
        return p.text == QStringLiteral("Probíhá download karty na pozici 2/13");
    });
    ASSERT_NE(painted, watch.paints.end()) << "the operator never saw the download text";
    EXPECT_TRUE(painted->waitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor stayed";
}

struct Failure {
    const char *name;
    std::string cards;
    QString status;
    bool openInLibrary; // the failed open leaves the card open in the library
};

void PrintTo(const Failure &failure, std::ostream *os) {
    *os << failure.name;
}

const Failure kFailures[] = {
    {"OpenRefused", "0123@2/13:noopen", "Nelze otevřít vybranou kartu na pozici 2/13", false},
    {"NoBaseAddress", "0123@2/13:nobar", "Nelze zjistit bázovou adresu karty na pozici 2/13", true},
    {"DownloadFails", "0123@2/13:nodone", "Chyba download karty na pozici 2/13", true},
};

class FailureTest : public OpenCloseTest, public testing::WithParamInterface<Failure> {};

TEST_P(FailureTest, ShowsWhyChangesNothingAndRetries) {
    start(GetParam().cards);

    openCard(1);

    EXPECT_EQ(status(), GetParam().status);
    EXPECT_EQ(buttons(), kAtStart);
    EXPECT_EQ(oxsim::ReadCardState(0).open, GetParam().openInLibrary);
    oxsim::ClearTrace();
    tick();
    EXPECT_TRUE(oxsim::Trace().empty()) << "a tick reached the card";

    click("Button1"); // the operator tries again
    EXPECT_TRUE(called("OX9162_Open 0 0 ")) << testing::PrintToString(Calls());
    EXPECT_EQ(status(), GetParam().status);
    EXPECT_EQ(buttons(), kAtStart);
}

TEST_P(FailureTest, EndAfterwardsClosesNothing) {
    start(GetParam().cards);
    openCard(1);
    oxsim::ClearTrace();

    click("Button3");

    EXPECT_TRUE(oxsim::Trace().empty()) << testing::PrintToString(oxsim::Trace());
    EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Failures, FailureTest, testing::ValuesIn(kFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(OpenCloseTest, LabelShowsTheLongestStatusWhole) {
    start("0123@4000000000/4000000000:nobar");
    openCard(1);
    auto *label = control<QLabel>("Label7");
    ASSERT_EQ(label->text(), "Nelze zjistit bázovou adresu karty na pozici 4000000000/4000000000");
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    EXPECT_LE(label->geometry().right(), label->parentWidget()->width());
}

TEST_F(OpenCloseTest, CloseClosesTheCardAndStopsTheTicks) {
    start("0123@2/13");
    openCard(1);
    oxsim::ClearTrace();

    click("Button2");

    EXPECT_EQ(Calls(), std::vector<std::string>{"OX9162_Close 0 = 0"});
    EXPECT_EQ(status(), "Není otevřena žádná karta");
    EXPECT_EQ(buttons(), kAtStart);
    EXPECT_FALSE(oxsim::ReadCardState(0).open);
    oxsim::ClearTrace();
    tick();
    EXPECT_TRUE(oxsim::Trace().empty());
}

TEST_F(OpenCloseTest, TheOpenedCardStaysSelectedWhateverRowIsCurrent) {
    start("0123@2/13;0123@4/2");
    openCard(2);
    ASSERT_EQ(status(), "Otevřena karta na pozici 4/2  (FPGA v.1.2)");
    auto *grid = control<QTableWidget>("StringGrid1");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(1, 1)).center());
    ASSERT_EQ(grid->currentRow(), 1);
    oxsim::ClearTrace();

    tick();
    EXPECT_EQ(cardsAccessed(), std::set<std::string>{"1"});
    click("Button1"); // disabled while the card is open
    click("Button2");
    EXPECT_EQ(Calls(), std::vector<std::string>{"OX9162_Close 1 = 0"});

    // Reopening from the row now current opens and loads that card.
    oxsim::ClearTrace();
    click("Button1");
    EXPECT_EQ(status(), "Otevřena karta na pozici 2/13  (FPGA v.1.2)");
    EXPECT_TRUE(called("OX9162_Open 0 0 = 0"));
    EXPECT_EQ(cardsAccessed(), std::set<std::string>{"0"});
    EXPECT_TRUE(oxsim::ReadCardState(0).configured);
}

TEST_F(OpenCloseTest, EndWithACardOpenClosesItDirectlyAfterStoppingTheTimer) {
    start("0456@3/5;0123@2/13");
    openCard(1);
    oxsim::ClearTrace();

    click("Button3");

    EXPECT_EQ(oxsim::Trace(), std::vector<std::string>{"call OX9162_Close 1 = 0"});
    EXPECT_FALSE(control<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(oxsim::ReadCardState(1).open);
}

TEST_F(OpenCloseTest, EndWithoutACardCallsNothing) {
    start("0123@2/13");
    oxsim::ClearTrace();

    click("Button3");

    EXPECT_TRUE(oxsim::Trace().empty());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(OpenCloseTest, EndAfterACloseCallsNothing) {
    start("0123@2/13");
    openCard(1);
    click("Button2");
    oxsim::ClearTrace();

    click("Button3");

    EXPECT_TRUE(oxsim::Trace().empty());
}

TEST_F(OpenCloseTest, ClosingByTheTitleBarLeavesTheCardOpen) {
    start("0123@2/13");
    openCard(1);
    oxsim::ClearTrace();

    form->close();

    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(oxsim::ReadCardState(0).open);
}
