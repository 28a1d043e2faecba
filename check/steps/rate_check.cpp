#include "rate_check.h"
#include "step_tools.h"

#include <algorithm>
#include <cmath>

using namespace cardstep;

namespace {

// Rates are quotients of whole counts and times; equal ones may differ in the last bit.
constexpr double kSlack = 1e-9;

bool Within(double rate, double expected, double tolerancePct) {
    if (expected == 0) {
        return rate == 0;
    }
    return std::abs(rate - expected) <= expected * tolerancePct / 100 * (1 + kSlack);
}

// A rate's uncertainty: one count, and the count the run's slack holds at it.
double Uncertainty(double hertz, double seconds, double slack) {
    return seconds > 0 ? (1 + hertz * slack) / seconds : 0;
}

} // namespace

MeasuredRates MeasureRates(const std::array<uint64_t, kCounterCount> &counted, double seconds,
                           double slack) {
    MeasuredRates rates;
    rates.seconds = seconds;
    rates.slack = slack;
    for (uint64_t count : counted) {
        rates.hertz.push_back(seconds > 0 ? static_cast<double>(count) / seconds : 0);
        rates.uncertainty =
            std::max(rates.uncertainty, Uncertainty(rates.hertz.back(), seconds, slack));
    }
    return rates;
}

std::string UnjudgedRates(const MeasuredRates &rates, const RateExpectation &expected) {
    std::string text;
    for (std::size_t n = 0; n < expected.hertz.size(); ++n) {
        const double hertz = expected.hertz[n];
        const double allowed = hertz * expected.tolerancePct / 100 * (1 + kSlack);
        const double uncertainty = Uncertainty(hertz, rates.seconds, rates.slack);
        if (hertz > 0 && uncertainty > allowed) {
            text += (text.empty() ? "CNT" : ", CNT") + std::to_string(n) + " +/-" +
                    RateText(uncertainty, uncertainty) + " Hz";
        }
    }
    return text;
}

std::string RateText(double hertz, double uncertainty) {
    const int decimals =
        uncertainty > 0 ? std::clamp(-static_cast<int>(std::floor(std::log10(uncertainty))), 0, 9)
                        : 3;
    return Fixed(hertz, decimals);
}

std::string RateDeviations(const MeasuredRates &rates, const RateExpectation &expected) {
    std::string text;
    for (std::size_t n = 0; n < rates.hertz.size() && n < expected.hertz.size(); ++n) {
        if (Within(rates.hertz[n], expected.hertz[n], expected.tolerancePct)) {
            continue;
        }
        text += (text.empty() ? "CNT" : ", CNT") + std::to_string(n) + " at " +
                RateText(rates.hertz[n], rates.uncertainty) + " Hz, expected " +
                NumberText(expected.hertz[n]) + " Hz";
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
    // A rate that counts less than once in the longest run is no rate a run can measure.
    const double mostSeconds = std::chrono::duration<double>(kMostRunTime).count();
    if (lowest * mostSeconds < 1) {
        return "--expect-hz " + NumberText(lowest) +
               " Hz is too low to measure: it counts less than once in the longest run of " +
               std::to_string(kMostRunTime.count()) + " ms";
    }
    // One count, and what the clock's slack at both ends makes of the run, must not
    // exceed the tolerance at the lowest rate expected: in per cent of it for a run of ms.
    const double slack = 2 * std::chrono::duration<double>(kClockSlack).count();
    const auto errorPct = [&](double ms) { return 1e5 * (1 / lowest + slack) / ms; };
    const double needed =
        std::ceil(1e5 * (1 / lowest + slack) / expected.tolerancePct * (1 - kSlack));
    if (runTime.count() >= needed) {
        return {};
    }
    std::string refusal = asked + " cannot measure " + NumberText(lowest) + " Hz to " +
                          NumberText(expected.tolerancePct) +
                          " %, one count and the clock's slack being " +
                          Fixed(errorPct(static_cast<double>(runTime.count())), 3) +
                          " % of it: it needs --run-time " + Fixed(needed, 0) + " or more";
    if (needed > static_cast<double>(kMostRunTime.count())) {
        // No run is long enough: only a wider tolerance can help, if any can.
        const double mostPct = errorPct(static_cast<double>(kMostRunTime.count()));
        refusal += ", beyond the longest run of " + std::to_string(kMostRunTime.count()) +
                   ", in which one count is " + Fixed(mostPct, 3) + " % of it: ";
        refusal += mostPct <= kMostTolerancePct
                       ? "--tolerance " + NumberText(std::ceil(mostPct * 1000) / 1000) +
                             " or more can judge it"
                       : "no --tolerance can judge it";
    }
    return refusal;
}
