// The configuration text and the driver functions' answers to it.
#include "sim_test_support.h"

#include "library_throws.h"

#include <cstdlib>
#include <stdexcept>

using namespace simtest;

namespace {

struct CardAnswers {
    uint32_t didStatus = 1, busStatus = 1, slotStatus = 1;
    uint32_t did = 0, bus = 0, slot = 0;
};

CardAnswers Ask(uint32_t card) {
    CardAnswers a;
    a.didStatus = OX9162_Card_DID(card, &a.did);
    a.busStatus = OX9162_Card_BUS(card, &a.bus);
    a.slotStatus = OX9162_Card_SLOT(card, &a.slot);
    return a;
}

uint32_t Count() {
    uint32_t count = 12345;
    EXPECT_EQ(OX9162_CardsInSystem(&count), 0u);
    return count;
}

// Sets the library's variable for one test and restores it after; null unsets it.
class Environment {
  public:
    explicit Environment(const char *cards) {
        if (const char *old = std::getenv(kName)) {
            saved_ = old, hadOld_ = true;
        }
        Set(cards);
    }
    ~Environment() { Set(hadOld_ ? saved_.c_str() : nullptr); }

  private:
    static void Set(const char *value) {
#ifdef _WIN32
        _putenv_s(kName, value != nullptr ? value : ""); // "" removes it there
#else
        value != nullptr ? setenv(kName, value, 1) : unsetenv(kName);
#endif
    }

    static constexpr const char *kName = "OX9162_SIM_CARDS";
    std::string saved_;
    bool hadOld_ = false;
};

} // namespace

TEST_F(SimTest, WithoutTheVariableThereAreTwoKrv5316AndOneOtherCard) {
    Environment unset(nullptr);
    oxsim::Reset();
    ASSERT_EQ(Count(), 3u);
    const uint32_t expected[3][3] = {{0x123, 2, 13}, {0x456, 3, 5}, {0x123, 4, 2}};
    for (uint32_t card = 0; card < 3; ++card) {
        const CardAnswers a = Ask(card);
        EXPECT_EQ(a.didStatus | a.busStatus | a.slotStatus, 0u);
        EXPECT_EQ(a.did, expected[card][0]);
        EXPECT_EQ(a.bus, expected[card][1]);
        EXPECT_EQ(a.slot, expected[card][2]);
    }
}

TEST_F(SimTest, CardsAreNumberedInTheOrderOfTheText) {
    ASSERT_TRUE(oxsim::Configure(" 1@0/0 ; 00aB@255/31;123@7/9;FFFFFFFF@4294967295/1"));
    ASSERT_EQ(Count(), 4u);
    EXPECT_EQ(Ask(0).did, 0x1u);
    EXPECT_EQ(Ask(1).did, 0xABu);
    EXPECT_EQ(Ask(1).bus, 255u);
    EXPECT_EQ(Ask(1).slot, 31u);
    EXPECT_EQ(Ask(2).did, 0x123u);
    EXPECT_EQ(Ask(2).bus, 7u);
    EXPECT_EQ(Ask(3).did, 0xFFFFFFFFu);
    EXPECT_EQ(Ask(3).bus, 4294967295u);
}

TEST_F(SimTest, WholeValueForms) {
    ASSERT_TRUE(oxsim::Configure(""));
    EXPECT_EQ(Count(), 0u);

    ASSERT_TRUE(oxsim::Configure("fail"));
    uint32_t count = 0;
    EXPECT_NE(OX9162_CardsInSystem(&count), 0u);

    OX_SKIP_IF_THROW_CANNOT_CROSS();
    ASSERT_TRUE(oxsim::Configure("throw"));
    EXPECT_THROW(OX9162_CardsInSystem(&count), std::runtime_error);
}

TEST_F(SimTest, EachFaultWordFailsItsOwnCallOnly) {
    ASSERT_TRUE(oxsim::Configure("0123@1/2:nodid;0123@1/3:nobus;0123@1/4:noslot;"
                                 "0123@1/5:noopen;0123@1/6:nobar;0123@1/7:noclose;"
                                 "0123@1/8: nodid , noopen"));
    ASSERT_EQ(Count(), 7u);
    const CardAnswers noDid = Ask(0), noBus = Ask(1), noSlot = Ask(2), both = Ask(6);
    EXPECT_NE(noDid.didStatus, 0u);
    EXPECT_EQ(noDid.busStatus | noDid.slotStatus, 0u);
    EXPECT_NE(noBus.busStatus, 0u);
    EXPECT_EQ(noBus.didStatus | noBus.slotStatus, 0u);
    EXPECT_NE(noSlot.slotStatus, 0u);
    EXPECT_EQ(noSlot.didStatus | noSlot.busStatus, 0u);
    EXPECT_NE(both.didStatus, 0u);
    EXPECT_NE(OX9162_Open(6, 0), 0u);

    uintptr_t address = 0;
    uint32_t second = 0;
    EXPECT_NE(OX9162_Open(3, 0), 0u);
    EXPECT_EQ(OX9162_Open(4, 0), 0u);
    EXPECT_NE(OX9162_BAR4_BaseAdr(4, &address, &second), 0u);
    EXPECT_EQ(OX9162_Open(5, 0), 0u);
    EXPECT_EQ(OX9162_BAR4_BaseAdr(5, &address, &second), 0u);
    EXPECT_NE(OX9162_Close(5), 0u);
    // Cards without faults pass every call.
    EXPECT_EQ(OX9162_Open(0, 0), 0u);
    EXPECT_EQ(OX9162_BAR4_BaseAdr(0, &address, &second), 0u);
    EXPECT_EQ(OX9162_Close(0), 0u);
}

TEST_F(SimTest, BadCallsFailWithoutHarm) {
    uint32_t value = 0;
    uintptr_t address = 0;
    EXPECT_NE(OX9162_CardsInSystem(nullptr), 0u);
    EXPECT_NE(OX9162_Card_DID(3, &value), 0u);
    EXPECT_NE(OX9162_Card_BUS(0xFFFFFFFF, &value), 0u);
    EXPECT_NE(OX9162_Card_SLOT(3, &value), 0u);
    EXPECT_NE(OX9162_Card_DID(0, nullptr), 0u);
    EXPECT_NE(OX9162_Card_BUS(0, nullptr), 0u);
    EXPECT_NE(OX9162_Card_SLOT(0, nullptr), 0u);
    EXPECT_NE(OX9162_Open(3, 0), 0u);
    EXPECT_NE(OX9162_BAR4_BaseAdr(3, &address, &value), 0u);
    EXPECT_NE(OX9162_BAR4_BaseAdr(0, nullptr, &value), 0u);
    EXPECT_NE(OX9162_BAR4_BaseAdr(0, &address, nullptr), 0u);
    EXPECT_NE(OX9162_Close(0), 0u) << "never opened";
    EXPECT_NE(OX9162_Close(3), 0u);
    EXPECT_EQ(OX9162_Open(0, 0), 0u);
    EXPECT_EQ(OX9162_Open(0, 0), 0u) << "reopening an open card succeeds";
    EXPECT_EQ(OX9162_Close(0), 0u);
    EXPECT_NE(OX9162_Close(0), 0u) << "already closed";
}

TEST_F(SimTest, WindowIsOneInaccessiblePagePerCardKeptAcrossReopening) {
    const uintptr_t first = OpenWindow(0);
    const uintptr_t other = OpenWindow(2);
    EXPECT_EQ(first % 4096, 0u);
    EXPECT_GE(other > first ? other - first : first - other, 4096u);
    EXPECT_EQ(OX9162_Close(0), 0u);
    EXPECT_EQ(OpenWindow(0), first);
}

TEST_F(SimTest, MalformedTextNamesTheBadPartAndFailsEnumeration) {
    const char *const kBad[][2] = {
        {"0123", "0123"},
        {"0123@2", "0123@2"},
        {"xyz@1/2", "xyz@1/2"},
        {"0123@a/2", "0123@a/2"},
        {"0123@1/-2", "0123@1/-2"},
        {"123456789@1/2", "123456789@1/2"},
        {"0123@1/2;0456@3/5:bogus", "bogus"},
        {"0123@1/2:slow=0", "slow"},
        {"0123@1/2:slow=x", "slow"},
        {"0123@1/2:", "0123@1/2:"},
        {"0123@1/2;", "bad card \"\""},
        {"0123@1/2;;0123@1/3", "bad card \"\""},
    };
    for (const auto &[text, named] : kBad) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(oxsim::Configure(text, &error));
        EXPECT_NE(error.find(named), std::string::npos) << error;
        uint32_t count = 0;
        EXPECT_NE(OX9162_CardsInSystem(&count), 0u);
        EXPECT_NE(OX9162_Open(0, 0), 0u);
    }
}

TEST_F(SimTest, MalformedVariableGivesOneLineOnStandardError) {
    Environment bad("0123@2/13;12@x/1");
    testing::internal::CaptureStderr();
    oxsim::Reset();
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("OX9162_SIM_CARDS"), std::string::npos) << printed;
    EXPECT_NE(printed.find("12@x/1"), std::string::npos) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    uint32_t count = 0;
    EXPECT_NE(OX9162_CardsInSystem(&count), 0u);
}

TEST_F(SimTest, BadPartIsQuotedShortWithOddCharactersEscaped) {
    const std::string fault(1 << 20, 'x');
    std::string error;
    EXPECT_FALSE(oxsim::Configure("0123@2/13:" + fault, &error));
    EXPECT_LT(error.size(), 3 * 80u) << "the bad part is cut short, each time it is named";
    EXPECT_NE(error.find("\"" + fault.substr(0, 60) + "\"..."), std::string::npos) << error;

    EXPECT_FALSE(oxsim::Configure("0123@2/13:slow=1,bo\ngus\t\x01\xff\"", &error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_NE(error.find(R"("bo\ngus\t\x01\xff\"")"), std::string::npos) << error;
}
