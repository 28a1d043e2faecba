// Enumeration into the card table, opening and closing a card, against the stand-in
// library and its trace of calls.
#include "library_throws.h"
#include "trace_util.h"
#include "zovak_ox9162.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <sstream>

void PrintTo(const TKarta &c, std::ostream *os) {
    *os << "{CardNo " << c.CardNo << ", DID " << c.DID << ", BUS " << c.BUS << ", SLOT " << c.SLOT
        << ", BaseAdr " << c.BaseAdr << ", BaseAdr2 " << c.BaseAdr2 << "}";
}

void PrintTo(const TPoleKaret &t, std::ostream *os) {
    *os << "{CountAll " << t.CountAll << ", CountFound " << t.CountFound << ", Status \""
        << t.Status << "\", Cards";
    for (std::size_t k = t.Cards.first(); k <= t.Cards.last(); ++k) {
        *os << ' ';
        PrintTo(t.Cards[k], os);
    }
    *os << "}";
}

namespace {

constexpr uint16_t kKrv5316 = 0x0123;
const std::string kOk = "V pořádku";
const std::string kLibraryError = "Chyba volání knihovny ZOVAK_OX9162";
const std::string kNoCards = "Nenalezena žádná karta ZOVAK";
const std::string kBadSelection = "Neplatný výběr karty";

std::string Repeat(const std::string &card, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += (i ? ";" : "") + card;
    }
    return text;
}

// A table full of leftovers, so that a FindCards that forgets to clear something shows.
TPoleKaret Garbage() {
    TPoleKaret table;
    table.CountAll = table.CountFound = 99;
    table.Status = "x";
    table.AllCards.fill({9, 9, 9, 9, 9, 9});
    table.Cards.fill({9, 9, 9, 9, 9, 9});
    table.Unreadable = {{9, {CardAccessOutcome::CallFailed, LibraryCall::CardDid, "", 9}}};
    return table;
}

// What the library answered per card number, read from the trace: the entries of
// AllCards that FindCards must have filled. "OX9162_Card_DID 3 = 0 291".
std::map<uint32_t, TKarta> Reported(const std::vector<std::string> &calls) {
    std::map<uint32_t, TKarta> cards;
    std::map<uint32_t, int> answers;
    for (const std::string &call : calls) {
        std::istringstream in(call);
        std::string name, equals;
        uint32_t number = 0, status = 1, value = 0;
        in >> name >> number >> equals >> status >> value;
        uint32_t TKarta::*field = name == "OX9162_Card_DID"    ? &TKarta::DID
                                  : name == "OX9162_Card_BUS"  ? &TKarta::BUS
                                  : name == "OX9162_Card_SLOT" ? &TKarta::SLOT
                                                               : nullptr;
        if (field && status == 0) {
            cards[number].CardNo = number;
            cards[number].*field = value;
            ++answers[number];
        }
    }
    std::erase_if(cards, [&](const auto &entry) { return answers[entry.first] != 3; });
    return cards;
}

struct FindCase {
    const char *name;
    std::string cards;
    bool result;
    std::string status;
    uint32_t countAll;
    std::vector<uint32_t> found; // CardNo of Cards[1], Cards[2], ...
    int queried;                 // card numbers asked for their DID
    std::string neverCalled;     // a call that must not happen
};
void PrintTo(const FindCase &c, std::ostream *os) {
    *os << c.name;
}

const FindCase kFindCases[] = {
    {"LibraryFails", "fail", false, kLibraryError, 0, {}, 0, ""},
    {"LibraryThrows", "throw", false, kLibraryError, 0, {}, 0, ""},
    {"NoCards", "", false, kNoCards, 0, {}, 0, ""},
    {"OtherModelsOnly", "0456@3/5;0789@1/2;0124@0/0", true, kOk, 3, {}, 3, ""},
    {"AllDidBitsCompared", "10123@1/1;0123@2/13", true, kOk, 2, {1}, 2, ""},
    {"DidFailsSkipsCard", "0123@1/4:nodid;0123@2/13", true, kOk, 2, {1}, 2, "OX9162_Card_BUS 0 "},
    {"BusFailsSkipsSlot", "0123@1/4:nobus;0123@2/13", true, kOk, 2, {1}, 2, "OX9162_Card_SLOT 0 "},
    {"SlotFailsSkipsCard", "0123@1/4:noslot;0123@2/13", true, kOk, 2, {1}, 2, ""},
    {"MatchesAtOneAndThree", "0456@1/1;0123@2/13;0456@3/5;0123@4/2", true, kOk, 4, {1, 3}, 4, ""},
    {"SeventeenCardsFirstSixteenKept",
     Repeat("0123@1/1", 17),
     true,
     kOk,
     17,
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
     16,
     "OX9162_Card_DID 16 "},
    {"SeventeenthCardIsTheOnlyMatch",
     Repeat("0456@1/1", 16) + ";0123@7/7",
     true,
     kOk,
     17,
     {},
     16,
     "OX9162_Card_DID 16 "},
};

class FindCardsTest : public testing::TestWithParam<FindCase> {
  protected:
    void SetUp() override {
        if (GetParam().cards == "throw") {
            OX_SKIP_IF_THROW_CANNOT_CROSS();
        }
        oxsim::KeepTrace();
    }
};

TEST_P(FindCardsTest, FillsTheTableFromTheLibrary) {
    const FindCase &c = GetParam();
    ASSERT_TRUE(oxsim::Configure(c.cards));
    TPoleKaret table = Garbage();

    EXPECT_EQ(FindCards(kKrv5316, table), c.result);

    EXPECT_EQ(table.Status, c.status);
    EXPECT_EQ(table.CountAll, c.countAll);
    EXPECT_EQ(table.CountFound, c.found.size());
    const std::vector<std::string> calls = Calls();
    EXPECT_EQ(
        std::ranges::count_if(
            calls, [](const std::string &call) { return call.starts_with("OX9162_Card_DID "); }),
        c.queried);
    if (!c.neverCalled.empty()) {
        EXPECT_FALSE(std::ranges::any_of(
            calls, [&](const std::string &call) { return call.starts_with(c.neverCalled); }));
    }
    // Every failed query is recorded against its card: "OX9162_Card_BUS 0 = 1".
    std::vector<std::string> failed;
    std::vector<std::string> recorded;
    std::ranges::copy_if(calls, std::back_inserter(failed), [](const std::string &call) {
        return call.starts_with("OX9162_Card_") && call.substr(call.find(" = ") + 3, 2) != "0 ";
    });
    for (const UnreadableCard &card : table.Unreadable) {
        recorded.push_back(std::string(LibraryCallName(card.Failure.call)) + " " +
                           std::to_string(card.CardNo) + " = " +
                           std::to_string(card.Failure.status));
    }
    EXPECT_EQ(recorded, failed);
    const std::map<uint32_t, TKarta> reported = Reported(calls);
    for (uint32_t j = 0; j < MaxCards; ++j) {
        const auto it = reported.find(j);
        EXPECT_EQ(table.AllCards[j], it == reported.end() ? TKarta{} : it->second)
            << "AllCards " << j;
    }
    for (uint32_t k = 1; k <= MaxCards; ++k) {
        const TKarta expected =
            k <= c.found.size() ? table.AllCards[c.found[k - 1]] : TKarta{.DID = kKrv5316};
        EXPECT_EQ(table.Cards[k], expected) << "Cards " << k;
        EXPECT_EQ(table.Cards[k].DID, kKrv5316);
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, FindCardsTest, testing::ValuesIn(kFindCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FindCardsTest, LibraryFailureMakesNoFurtherCall) {
    oxsim::KeepTrace();
    ASSERT_TRUE(oxsim::Configure("fail"));
    TPoleKaret table;
    EXPECT_FALSE(FindCards(kKrv5316, table));
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].starts_with("OX9162_CardsInSystem ")) << calls[0];
}

// A library that raised may be in no state to be called again: the enumeration ends at
// the query, with the table of a failed first call and the query, its card and the
// library's text for the check to name.
TEST(FindCardsTest, QueryThatRaisesEndsTheEnumeration) {
    OX_SKIP_IF_THROW_CANNOT_CROSS();
    oxsim::KeepTrace();
    ASSERT_TRUE(oxsim::Configure("fail"));
    TPoleKaret failed;
    ASSERT_FALSE(FindCards(kKrv5316, failed));
    const struct {
        const char *fault;
        LibraryCall call;
    } cases[] = {{"throwdid", LibraryCall::CardDid},
                 {"throwbus", LibraryCall::CardBus},
                 {"throwslot", LibraryCall::CardSlot}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(
            oxsim::Configure("0123@1/4:nobus;0123@2/13:" + std::string(c.fault) + ";0123@3/3"));
        TPoleKaret table = Garbage();

        EXPECT_FALSE(FindCards(kKrv5316, table));

        EXPECT_EQ(table, failed);
        EXPECT_TRUE(table.Unreadable.empty());
        const std::string name = LibraryCallName(c.call);
        EXPECT_EQ(table.Outcome, (CardAccessOutcome{CardAccessOutcome::CallThrew, c.call,
                                                    name + " raised for library card 1: " + name +
                                                        " 1: simulated driver failure"}));
        const std::vector<std::string> calls = Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), name + " 1 = throw") << "a call after the exception";
    }
}

TEST(FindCardsTest, PositionsComeFromTheLibrary) {
    ASSERT_TRUE(oxsim::Configure("0456@1/1;0123@2/13;0456@3/5;0123@4/2"));
    TPoleKaret table;
    ASSERT_TRUE(FindCards(kKrv5316, table));
    EXPECT_EQ(table.Cards[1], (TKarta{1, kKrv5316, 2, 13, 0, 0}));
    EXPECT_EQ(table.Cards[2], (TKarta{3, kKrv5316, 4, 2, 0, 0}));
}

// Opening and closing work on a table that FindCards filled.
class CardTableTest : public testing::Test {
  protected:
    void Enumerate(const std::string &cards) {
        oxsim::KeepTrace();
        ASSERT_TRUE(oxsim::Configure(cards));
        ASSERT_TRUE(FindCards(kKrv5316, table));
        oxsim::ClearTrace();
    }
    TPoleKaret table;
};

TEST_F(CardTableTest, InvalidNumbersMakeNoLibraryCall) {
    Enumerate("0123@2/13;0456@3/5;0123@4/2");
    for (const uint16_t k : {0, 3, 16, 17, 65535}) {
        TPoleKaret before = table;
        EXPECT_FALSE(OpenCard(k, table)) << k;
        before.Status = kBadSelection;
        EXPECT_EQ(table, before) << k;
    }
    EXPECT_TRUE(Calls().empty());
}

struct OpenFailure {
    const char *name;
    std::string cards;
    std::string status;
    std::vector<std::string> calls; // prefixes, in order
    bool openInLibrary;
};
void PrintTo(const OpenFailure &c, std::ostream *os) {
    *os << c.name;
}

const OpenFailure kOpenFailures[] = {
    {"OpenFails",
     "0456@1/1;0123@2/13:noopen",
     "Nelze otevřít vybranou kartu na pozici 2/13",
     {"OX9162_Open 1 0 = 1"},
     false},
    {"BaseAddressFailsAndCardStaysOpen",
     "0123@4000000000/31:nobar",
     "Nelze zjistit bázovou adresu karty na pozici 4000000000/31",
     {"OX9162_Open 0 0 = 0", "OX9162_BAR4_BaseAdr 0 = 1"},
     true},
};

class OpenFailureTest : public CardTableTest, public testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, GivesTheTextWithThePositionAndKeepsTheTable) {
    Enumerate(GetParam().cards);
    TPoleKaret expected = table;
    expected.Status = GetParam().status;

    EXPECT_FALSE(OpenCard(1, table));

    EXPECT_EQ(table, expected);
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), GetParam().calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_TRUE(calls[i].starts_with(GetParam().calls[i])) << calls[i];
    }
    EXPECT_EQ(oxsim::ReadCardState(table.Cards[1].CardNo).open, GetParam().openInLibrary);
}

INSTANTIATE_TEST_SUITE_P(Failures, OpenFailureTest, testing::ValuesIn(kOpenFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CardTableTest, OpenStoresTheWindowOfTheSelectedCardOnly) {
    Enumerate("0123@2/13;0456@3/5;0123@4/2");
    EXPECT_FALSE(OpenCard(0, table)); // leaves a status that success must replace
    TPoleKaret expected = table;

    ASSERT_TRUE(OpenCard(2, table));

    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "OX9162_Open 2 0 = 0");
    std::istringstream bar(calls[1]);
    std::string name, number, equals, status, address;
    uint32_t second = 0;
    bar >> name >> number >> equals >> status >> address >> second;
    ASSERT_EQ(name + " " + number + " " + status, "OX9162_BAR4_BaseAdr 2 0") << calls[1];
    expected.Cards[2].BaseAdr = std::stoull(address, nullptr, 16);
    expected.Cards[2].BaseAdr2 = second;
    expected.Status = kOk;
    EXPECT_EQ(table, expected);
    EXPECT_NE(table.Cards[2].BaseAdr, 0u);

    // The address reaches this card's registers: its VERSION, unconfigured.
    oxsim::ClearTrace();
    EXPECT_EQ(ReadReg(table.Cards[2].BaseAdr + 0x5FC), 0xFF);
    EXPECT_EQ(Accesses(), (std::vector<Access>{R(0x5FC, 0xFF, 2)}));
}

struct CloseCase {
    const char *name;
    std::string cards;
    bool result;
    std::string call;
};
void PrintTo(const CloseCase &c, std::ostream *os) {
    *os << c.name;
}

const CloseCase kCloseCases[] = {
    {"Closes", "0456@1/1;0123@2/13", true, "OX9162_Close 1 = 0"},
    {"LibraryRefuses", "0456@1/1;0123@2/13:noclose", false, "OX9162_Close 1 = 1"},
};

class CloseCardTest : public CardTableTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(CloseCardTest, HandsOnTheLibraryResultAndKeepsTheTable) {
    Enumerate(GetParam().cards);
    ASSERT_TRUE(OpenCard(1, table));
    table.Status = "left alone";
    const TPoleKaret before = table;
    oxsim::ClearTrace();

    EXPECT_EQ(CloseCard(1, table), GetParam().result);

    EXPECT_EQ(table, before);
    EXPECT_EQ(Calls(), std::vector<std::string>{GetParam().call});
    EXPECT_EQ(oxsim::ReadCardState(1).open, !GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Results, CloseCardTest, testing::ValuesIn(kCloseCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
