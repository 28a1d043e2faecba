// Opens the first KRV-5316 of a simulated configuration through the card table.
#pragma once

#include "sim_control.h"
#include "zovak_ox9162.h"

#include <gtest/gtest.h>

#include <string>

// The register window of card 1 of the table, or 0 after a test failure.
inline uintptr_t OpenFirstCard(const std::string &cards) {
    TPoleKaret table;
    oxsim::KeepTrace();
    if (!oxsim::Configure(cards) || !FindCards(0x0123, table) || !OpenCard(1, table)) {
        ADD_FAILURE() << "cannot open card 1 of \"" << cards << "\": " << table.Status;
        return 0;
    }
    oxsim::ClearTrace();
    return table.Cards[1].BaseAdr;
}
