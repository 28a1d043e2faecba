// What the window shows after start-up for each outcome of the enumeration, which
// library calls the start makes, and that nothing reaches a card before one is open.
#include "app_fixture.h"
#include "library_throws.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>

namespace {

struct Outcome {
    const char *name;
    std::string cards;
    QString status;
    QString countAll;
    QString countFound;
    std::vector<std::array<QString, 3>> rows; // rows 1.. as listed; none: not listed
    QString reason = {}; // what the status's tooltip holds of the library's words; none: empty
};

void PrintTo(const Outcome &outcome, std::ostream *os) {
    *os << outcome.name;
}

const QString kLibraryError = "Chyba volání knihovny ZOVAK_OX9162";

const Outcome kOutcomes[] = {
    {"LibraryFails", "fail", kLibraryError, "0", "0", {}, "OX9162_CardsInSystem returned 1"},
    {"LibraryThrows", "throw", kLibraryError, "0", "0", {}, "simulated driver failure"},
    {"QueryThrows", "0123@2/13:throwbus", kLibraryError, "0", "0", {}, "OX9162_Card_BUS raised"},
    {"NoCardOfTheMaker", "", "Nenalezena žádná karta ZOVAK", "0", "0", {}},
    {"OtherModelsOnly", "0456@3/5;0789@4/1", "Nenalezena žádná karta KRV-5316", "2", "0", {}},
    {"OneCard", "0123@2/13", "Není otevřena žádná karta", "1", "1", {{"1", "2", "13"}}},
    {"TestedModelAmongOthers",
     "0456@3/5;0123@4/2;0789@0/0;0123@4000000000/31",
     "Není otevřena žádná karta",
     "4",
     "2",
     {{"1", "4", "2"}, {"2", "4000000000", "31"}}},
};

class StartupTest : public WindowTest, public testing::WithParamInterface<Outcome> {
  protected:
    void SetUp() override {
        if (GetParam().cards.find("throw") != std::string::npos) {
            OX_SKIP_IF_THROW_CANNOT_CROSS();
        }
    }
    QString text(const char *label) { return control<QLabel>(label)->text(); }
};

TEST_P(StartupTest, ShowsCountsStatusAndCardList) {
    const Outcome &outcome = GetParam();
    start(outcome.cards);

    EXPECT_EQ(text("Label7"), outcome.status);
    const QString tooltip = control<QLabel>("Label7")->toolTip();
    EXPECT_TRUE(outcome.reason.isEmpty() ? tooltip.isEmpty() : tooltip.contains(outcome.reason))
        << tooltip.toStdString();
    EXPECT_EQ(text("Label5"), outcome.countAll);
    EXPECT_EQ(text("Label6"), outcome.countFound);
    auto *grid = control<QTableWidget>("StringGrid1");
    const int listed = static_cast<int>(outcome.rows.size());
    EXPECT_EQ(grid->rowCount(), listed == 0 ? 16 : listed + 1);
    const QStringList headings = {"Index", "BUS", "SLOT"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), headings[c]);
        EXPECT_EQ(grid->item(0, c)->text(), headings[c]);
    }
    for (int r = 1; r < grid->rowCount(); ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem *cell = grid->item(r, c);
            const QString shown = cell == nullptr ? QString() : cell->text();
            const QString expected = r <= listed ? outcome.rows[r - 1][c] : QString();
            EXPECT_EQ(shown, expected) << "row " << r << " column " << c;
        }
    }
    EXPECT_EQ(grid->currentRow(), 1);
    EXPECT_EQ(grid->currentColumn(), 0);
    EXPECT_TRUE(control<QPushButton>("Button1")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("Button2")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("Button3")->isEnabled());
}

TEST_P(StartupTest, OpenButtonReachesTheLibraryOnlyWhenCardsAreListed) {
    const Outcome &outcome = GetParam();
    start(outcome.cards);
    oxsim::ClearTrace();

    click("Button1");

    const std::vector<std::string> calls = Calls();
    if (outcome.rows.empty()) {
        EXPECT_TRUE(oxsim::Trace().empty());
        EXPECT_EQ(text("Label7"), outcome.status);
    } else {
        ASSERT_FALSE(calls.empty());
        EXPECT_TRUE(calls[0].starts_with("OX9162_Open ")) << calls[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, StartupTest, testing::ValuesIn(kOutcomes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(WindowTest, StartEnumeratesEveryCardOnceAndOpensNone) {
    start("0456@3/5;0123@4/2");

    const std::vector<std::string> calls = Calls();
    const std::vector<std::string> expected = {
        "OX9162_CardsInSystem ", "OX9162_Card_DID 0 ", "OX9162_Card_BUS 0 ", "OX9162_Card_SLOT 0 ",
        "OX9162_Card_DID 1 ",    "OX9162_Card_BUS 1 ", "OX9162_Card_SLOT 1 "};
    ASSERT_EQ(calls.size(), expected.size()) << testing::PrintToString(calls);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_TRUE(calls[i].starts_with(expected[i])) << calls[i];
    }
    EXPECT_EQ(calls.size(), oxsim::Trace().size()) << "a register access before any open";
}

TEST_F(WindowTest, SixteenCardsScrollUnderAFixedHeader) {
    std::string cards;
    for (int i = 1; i <= 16; ++i) {
        cards += (i > 1 ? ";" : "") + std::string("0123@") + std::to_string(i) + "/" +
                 std::to_string(20 + i);
    }
    start(cards);

    auto *grid = control<QTableWidget>("StringGrid1");
    ASSERT_EQ(grid->rowCount(), 17);
    EXPECT_EQ(grid->item(16, 0)->text(), "16");
    EXPECT_EQ(grid->item(16, 1)->text(), "16");
    EXPECT_EQ(grid->item(16, 2)->text(), "36");
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());

    // The operator walks down to the last card with the arrow keys.
    grid->setFocus();
    for (int i = 1; i < 16; ++i) {
        QTest::keyClick(grid, Qt::Key_Down);
    }
    EXPECT_EQ(grid->currentRow(), 16);
    EXPECT_GT(grid->verticalScrollBar()->value(), 0);
    const QRect last = grid->visualRect(grid->model()->index(16, 0));
    EXPECT_TRUE(grid->viewport()->rect().contains(last)) << "the last card is not in view";
    EXPECT_TRUE(grid->horizontalHeader()->isVisible());
    EXPECT_EQ(grid->horizontalHeader()->y(), grid->viewport()->y() - 20);
}

TEST_F(WindowTest, FewCardsNeedNoScrollBar) {
    start("0123@2/13;0123@4/2");
    EXPECT_FALSE(control<QTableWidget>("StringGrid1")->verticalScrollBar()->isVisible());
}

TEST_F(WindowTest, TicksDoNothingBeforeACardIsOpen) {
    start("0123@2/13");
    oxsim::ClearTrace();
    for (int i = 0; i < 3; ++i) {
        tick();
    }
    EXPECT_TRUE(oxsim::Trace().empty()) << testing::PrintToString(oxsim::Trace());
}

} // namespace
