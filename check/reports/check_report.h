// The three forms of the check's report: plain text, JSON and JUnit XML.
#pragma once

#include "check_run.h"

#include <string>

std::string TextReport(const CheckRun &run);
std::string JsonReport(const CheckRun &run);
std::string JUnitReport(const CheckRun &run);

// Raised with every change of the JSON report's form that a reader must know of.
inline constexpr int kJsonSchema = 1;
