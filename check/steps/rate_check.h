// The counters' rates over a measured run, judged against the rates a line expects.
#pragma once

#include "check_settings.h"

#include "KRV5316_regs.h"

#include <array>
#include <chrono>
#include <string>
#include <vector>

struct MeasuredRates {
    std::vector<double> hertz; // counts per second, one per counter
    double seconds = 0;        // the run as measured
    double slack = 0;          // how far seconds may be off
    double uncertainty = 0;    // one count and the slack over the run, in hertz, at most
};

// seconds: the run; slack: how far its measured length may be off, at either end together.
MeasuredRates MeasureRates(const std::array<uint64_t, kCounterCount> &counted, double seconds,
                           double slack);

// The counters expected to count whose rate the run cannot tell to the tolerance, for
// the uncertainty of its length; empty when it can tell every rate.
std::string UnjudgedRates(const MeasuredRates &rates, const RateExpectation &expected);

// The counters whose rate misses the one expected, each with both rates; empty when
// every rate lies within the tolerance.
std::string RateDeviations(const MeasuredRates &rates, const RateExpectation &expected);

// Why the count step could not judge a run of runTime, naming the run time it needs;
// empty when it can.
std::string RunTimeRefusal(std::chrono::milliseconds runTime, const RateExpectation &expected);

// A rate as wide as its uncertainty deserves: "1000.0".
std::string RateText(double hertz, double uncertainty);
