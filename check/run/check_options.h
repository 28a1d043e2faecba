// The command line of krv5316-check.
#pragma once

#include "check_settings.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct CheckOptions {
    struct Position {
        unsigned bus = 0;
        unsigned slot = 0;
    };
    std::string card;                     // --card as given; empty: every card
    std::optional<Position> cardPosition; // --card BUS/SLOT
    std::optional<unsigned> cardIndex;    // 1 to the number of cards listed
    bool loopback = false;
    std::string jsonFile;
    std::string junitFile;
    std::chrono::milliseconds runTime{1500};
    RateExpectation expected; // --expect-hz, spread to every counter, and --tolerance
    // --property NAME=VALUE, in the order given: where the reports were made (a station,
    // a fixture, an operator).
    std::vector<std::pair<std::string, std::string>> properties;
    // Burn-in: the cycle of steps repeated so many times, or for so long, or both.
    std::optional<unsigned> repeat;
    std::optional<std::chrono::seconds> duration;
    bool stopOnFailure = false;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<CheckOptions> options; // empty when the arguments are wrong
    std::string error;
};

// args: the arguments after the program's name.
ParsedOptions ParseCheckOptions(const std::vector<std::string> &args);

extern const char *const kCheckUsage;
