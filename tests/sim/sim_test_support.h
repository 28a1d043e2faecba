// Shared by the simulator's tests: a fresh set of cards per test and the program's
// way of reaching a card, a volatile byte access in its window.
#pragma once

#include "ox9162_driver.h"
#include "sim_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace simtest {

inline constexpr uint32_t DIN = 0x000, DOUT = 0x004, CONF = 0x3FC, DATA0 = 0x400, DATA1 = 0x404,
                          DATA2 = 0x408, DATA3 = 0x40C, CLR0 = 0x410, CLR1 = 0x414, CLR2 = 0x418,
                          SEL = 0x420, XDOUT = 0x5A0, VERSION = 0x5FC;

inline uint8_t Rd(uintptr_t window, uint32_t offset) {
    return *reinterpret_cast<volatile uint8_t *>(window + offset);
}
inline void Wr(uintptr_t window, uint32_t offset, uint8_t value) {
    *reinterpret_cast<volatile uint8_t *>(window + offset) = value;
}

// The program's download, with a bound on the wait for bit 5 so a card that never
// becomes ready fails instead of hanging. Returns the final status byte.
inline uint8_t Download(uintptr_t w, std::span<const uint8_t> bytes, unsigned maxPolls = 100) {
    Wr(w, CONF, 0x01);
    Wr(w, CONF, 0x00);
    Wr(w, CONF, 0x02);
    for (uint8_t byte : bytes) {
        Wr(w, DATA0, byte);
        unsigned polls = 0;
        while (!(Rd(w, CONF) & 0x20) && ++polls < maxPolls) {
        }
        if (polls == maxPolls) {
            break;
        }
    }
    Wr(w, CONF, 0x00);
    return Rd(w, CONF);
}

inline long CountLines(const std::vector<std::string> &lines, const std::string &line) {
    return std::count(lines.begin(), lines.end(), line);
}

// Each test starts on the default cards with the virtual clock at 0.
class SimTest : public ::testing::Test {
  protected:
    static constexpr const char *kCards = "0123@2/13;0456@3/5;0123@4/2";

    void SetUp() override {
        oxsim::KeepTrace();
        std::string error;
        ASSERT_TRUE(oxsim::Configure(kCards, &error)) << error;
        oxsim::UseVirtualClock();
    }
    void TearDown() override { oxsim::Configure(kCards); }

    static uintptr_t OpenWindow(uint32_t card) {
        uintptr_t window = 0;
        uint32_t second = 0;
        EXPECT_EQ(OX9162_Open(card, 0), 0u);
        EXPECT_EQ(OX9162_BAR4_BaseAdr(card, &window, &second), 0u);
        return window;
    }
};

} // namespace simtest
