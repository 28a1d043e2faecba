// One run of krv5316-check: when, where and with what it ran, and what it found.
#pragma once

#include "check_options.h"
#include "step_result.h"

#include "zovak_ox9162.h"

#include <cstdint>
#include <string>
#include <vector>

struct CheckRun {
    std::string version; // the tool's
    std::string host;
    std::string started; // UTC, ISO 8601
    CheckOptions options;
    // Why no card, or not every card, could be checked ("library", "no_card",
    // "selection", "run_time", "unreadable", "unseen", "report", "interrupted"); empty when cards
    // were checked.
    std::string errorKind;
    std::string error;
    std::vector<CardResult> cards;
    std::vector<UnreadableCard> unreadable; // reported by the library, never known

    unsigned countOf(const std::string &cardVerdict) const; // cards with that verdict
    unsigned failedCount() const;
    // "pass", "fail" or "error"; "unfinished" in the report that stands in for one until
    // the run writes it.
    const char *verdict() const;
};

// "OX9162_Card_BUS returned 1", "OX9162_Card_DID raised: TEXT"
std::string FailedCallText(const CardAccessOutcome &failure);

// "12 cycles run, 2 failed; failures by step: count 2, outputs 1"
std::string BurnInLine(const BurnInRecord &record);
// "cycle 3 at 2026-12-08T05:00:01Z (3.2 s into the run), count fail: rate off: ..."
std::string FailureLine(const FailureRecord &failure);

// "Summary: 2 cards checked, 1 passed, 1 failed"
std::string SummaryLine(const CheckRun &run);

// CRC-32 (the one of zip and PNG) of the firmware image the program carries.
uint32_t FirmwareImageCrc32();

// A figure as plain text: numbers in decimal, lists separated by blanks.
std::string FigureText(const FigureValue &value);
