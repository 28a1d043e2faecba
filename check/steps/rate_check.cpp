#include "rate_check.h"
#include "step_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Rates are quotients of whole counts and times; equal ones may differ in the last bit.
constexpr double kSlack = 1e-9;

std::string Number(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

bool Within(double rate, double expected, double tolerancePct) {
    if (expected == 0) {
        return rate == 0;
    }
    return std::abs(rate - expected) <= expected * tolerancePct / 100 * (1 + kSlack);
}

} // namespace

MeasuredRates MeasureRates(const std::array<uint64_t, kCounterCount> &counted, double seconds) {
    MeasuredRates rates;
    rates.seconds = seconds;
    rates.uncertainty = seconds > 0 ? 1 / seconds : 0;
    for (uint64_t count : counted) {
        rates.hertz.push_back(seconds > 0 ? static_cast<double>(count) / seconds : 0);
    }
    return rates;
}

std::string RateText(double hertz, double uncertainty) {
    const int decimals =
        uncertainty > 0 ? std::clamp(-static_cast<int>(std::floor(std::log10(uncertainty))), 0, 9)
                        : 3;
    return Number(hertz, decimals);
}

std::string RateDeviations(const MeasuredRates &rates, const RateExpectation &expected) {
    std::string text;
    for (std::size_t n = 0; n < rates.hertz.size() && n < expected.hertz.size(); ++n) {
        if (Within(rates.hertz[n], expected.hertz[n], expected.tolerancePct)) {
            continue;
        }
        text += (text.empty() ? "CNT" : ", CNT") + std::to_string(n) + " at " +
                RateText(rates.hertz[n], rates.uncertainty) + " Hz, expected " +
                cardstep::NumberText(expected.hertz[n]) + " Hz";
    }
    return text;
}

std::string RunTimeRefusal(std::chrono::milliseconds runTime, const RateExpectation &expected) {
    const std::string asked = "--run-time " + std::to_string(runTime.count());
    if (runTime < kLeastRunTime) {
        return asked + " is too short to see both levels of every input that counts: it needs " +
               "--run-time " + std::to_string(kLeastRunTime.count()) + " or more";
    }
    double lowest = 0;
    for (double hertz : expected.hertz) {
        lowest = hertz > 0 && (lowest == 0 || hertz < lowest) ? hertz : lowest;
    }
    if (lowest == 0) {
        return {};
    }
    // One count must not exceed the tolerance at the lowest rate expected.
    const double needed = std::ceil(1e5 / (lowest * expected.tolerancePct) * (1 - kSlack));
    if (runTime.count() >= needed) {
        return {};
    }
    const double countPct = 1e5 / (lowest * static_cast<double>(runTime.count()));
    std::string refusal = asked + " cannot measure " + cardstep::NumberText(lowest) + " Hz to " +
                          cardstep::NumberText(expected.tolerancePct) + " %, one count being " +
                          Number(countPct, 3) + " % of it: it needs --run-time " +
                          Number(needed, 0) + " or more";
    if (needed > static_cast<double>(kMostRunTime.count())) {
        // No run is long enough: only a wider tolerance can help, if any can.
        const double mostPct = 1e5 / (lowest * static_cast<double>(kMostRunTime.count()));
        refusal += ", beyond the longest run of " + std::to_string(kMostRunTime.count()) +
                   ", in which one count is " + Number(mostPct, 3) + " % of it: ";
        refusal += mostPct <= kMostTolerancePct
                       ? "--tolerance " + cardstep::NumberText(std::ceil(mostPct * 1000) / 1000) +
                             " or more can judge it"
                       : "no --tolerance can judge it";
    }
    return refusal;
}
