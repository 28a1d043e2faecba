// The access trace: the line forms and the ring in memory.
#include "sim_test_support.h"

#include "firmware_image.h"
#include "library_throws.h"

#include <cstdio>

using namespace simtest;

namespace {

std::string Hex(uintptr_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(address));
    return text;
}

} // namespace

TEST_F(SimTest, CallLinesGiveArgumentsStatusAndOutValues) {
    ASSERT_TRUE(oxsim::Configure("0123@2/13;0456@3/5:nobus"));
    uint32_t value = 0, second = 7;
    uintptr_t address = 0;
    OX9162_CardsInSystem(&value);
    OX9162_Card_DID(0, &value);
    OX9162_Card_BUS(0, &value);
    OX9162_Card_SLOT(0, &value);
    OX9162_Card_BUS(1, &value);
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &address, &second);
    OX9162_Close(0);
    OX9162_Close(0);
    OX9162_Open(9, 0);
    const std::vector<std::string> expected = {
        "call OX9162_CardsInSystem = 0 2",
        "call OX9162_Card_DID 0 = 0 291",
        "call OX9162_Card_BUS 0 = 0 2",
        "call OX9162_Card_SLOT 0 = 0 13",
        "call OX9162_Card_BUS 1 = 1",
        "call OX9162_Open 0 0 = 0",
        "call OX9162_BAR4_BaseAdr 0 = 0 " + Hex(address) + " 0",
        "call OX9162_Close 0 = 0",
        "call OX9162_Close 0 = 1",
        "call OX9162_Open 9 0 = 1",
    };
    EXPECT_EQ(oxsim::Trace(), expected);
    EXPECT_EQ(oxsim::TraceSize(), expected.size());
    oxsim::ClearTrace();
    EXPECT_EQ(oxsim::TraceSize(), 0u);
    EXPECT_TRUE(oxsim::Trace().empty());
}

TEST_F(SimTest, EnumerationFailuresAreTraced) {
    uint32_t count = 0;
    ASSERT_TRUE(oxsim::Configure("fail"));
    OX9162_CardsInSystem(&count);
    EXPECT_EQ(oxsim::Trace(), std::vector<std::string>{"call OX9162_CardsInSystem = 1"});
    OX_SKIP_IF_THROW_CANNOT_CROSS();
    ASSERT_TRUE(oxsim::Configure("throw"));
    EXPECT_ANY_THROW(OX9162_CardsInSystem(&count));
    EXPECT_EQ(oxsim::Trace(), std::vector<std::string>{"call OX9162_CardsInSystem = throw"});
}

TEST_F(SimTest, RegisterLinesOfACounterRead) {
    const uintptr_t w = OpenWindow(2);
    ASSERT_EQ(Download(w, FirmwareImage) & 0x10, 0x10);
    oxsim::SetCounter(2, 5, 0x0A0B0C0D);
    oxsim::ClearTrace();
    Wr(w, SEL, 5);
    for (uint32_t offset : {DATA3, DATA2, DATA1, DATA0}) {
        Rd(w, offset);
    }
    Wr(w, DOUT, 0xE0);
    const std::vector<std::string> expected = {"W 2 420 05", "R 2 40c 0a", "R 2 408 0b",
                                               "R 2 404 0c", "R 2 400 0d", "W 2 004 e0"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

TEST(TraceRing, KeepsNothingUnlessAskedAndThenOnlyTheLatestEvents) {
    ASSERT_TRUE(oxsim::KeepTrace(0));
    ASSERT_TRUE(oxsim::Configure("0123@2/13"));
    uint32_t value = 0;
    uintptr_t w = 0;
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &w, &value);
    Wr(w, SEL, 0);
    EXPECT_TRUE(oxsim::Trace().empty());
    EXPECT_EQ(oxsim::TraceSize() + oxsim::TraceDropped(), 0u);

    ASSERT_TRUE(oxsim::KeepTrace(4));
    Wr(w, SEL, 1);
    OX9162_Card_DID(0, &value);
    Wr(w, SEL, 2);
    Wr(w, SEL, 3);
    OX9162_Card_BUS(0, &value);
    Wr(w, SEL, 4);
    OX9162_Card_SLOT(0, &value);
    const std::vector<std::string> expected = {"trace ring: 3 earlier events dropped", "W 0 420 03",
                                               "call OX9162_Card_BUS 0 = 0 2", "W 0 420 04",
                                               "call OX9162_Card_SLOT 0 = 0 13"};
    EXPECT_EQ(oxsim::Trace(), expected);
    EXPECT_EQ(oxsim::TraceSize(), 4u);
    EXPECT_EQ(oxsim::TraceDropped(), 3u);

    // The ring's size holds across a new configuration, which clears it.
    ASSERT_TRUE(oxsim::Configure("0123@2/13"));
    EXPECT_TRUE(oxsim::Trace().empty());
    for (int i = 0; i < 6; ++i) {
        OX9162_Card_DID(0, &value);
    }
    EXPECT_EQ(oxsim::TraceSize(), 4u);
    EXPECT_EQ(oxsim::TraceDropped(), 2u);
    EXPECT_EQ(oxsim::Trace().back(), "call OX9162_Card_DID 0 = 0 291");
    ASSERT_TRUE(oxsim::KeepTrace(0));
}
