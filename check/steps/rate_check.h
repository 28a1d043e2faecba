// The counters' rates over a measured run, judged against the rates a line expects.
#pragma once

#include "check_settings.h"

#include "KRV5316_regs.h"

#include <array>
#include <chrono>
#include <string>
#include <vector>

struct MeasuredRates {
    double seconds = 0;        // the run as measured
    std::vector<double> hertz; // counts per second, one per counter
    double uncertainty = 0;    // one count over the run, in hertz
};

MeasuredRates MeasureRates(const std::array<uint64_t, kCounterCount> &counted, double seconds);

// The counters whose rate misses the one expected, each with both rates; empty when
// every rate lies within the tolerance.
std::string RateDeviations(const MeasuredRates &rates, const RateExpectation &expected);

// Why the count step could not judge a run of runTime, naming the run time it needs;
// empty when it can.
std::string RunTimeRefusal(std::chrono::milliseconds runTime, const RateExpectation &expected);

// A rate as wide as its uncertainty deserves: "1000.0".
std::string RateText(double hertz, double uncertainty);
