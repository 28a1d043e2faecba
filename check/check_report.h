// The three forms of the check's report: plain text, JSON and JUnit XML.
#pragma once

#include "card_check.h"

#include <ostream>
#include <string>
#include <vector>

struct CheckRun {
    std::string timestamp; // UTC, ISO 8601
    bool loopback = false;
    std::vector<CardResult> cards;

    unsigned failedCount() const;
};

void WriteTextReport(std::ostream &out, const CheckRun &run);
void WriteJsonReport(std::ostream &out, const CheckRun &run);
void WriteJUnitReport(std::ostream &out, const CheckRun &run);

// "Summary: 2 cards checked, 1 passed, 1 failed"
std::string SummaryLine(const CheckRun &run);
