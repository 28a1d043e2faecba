// krv5316-check: checks KRV-5316 cards without an operator and reports a verdict.
#include "card_check.h"
#include "check_options.h"
#include "check_report.h"

#include "KRV5316_regs.h"

#include <ctime>
#include <fstream>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace {

enum Exit { AllPassed = 0, CardFailed = 1, NothingChecked = 2 };

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The entries of table.Cards that the options ask for; an error text when none.
std::vector<unsigned> SelectCards(const TPoleKaret &table, const CheckOptions &options,
                                  std::string &error) {
    std::vector<unsigned> selected;
    for (unsigned k = 1; k <= table.CountFound; ++k) {
        const TKarta &card = table.Cards[k];
        const bool wanted = options.cardIndex      ? *options.cardIndex == k
                            : options.cardPosition ? card.BUS == options.cardPosition->bus &&
                                                         card.SLOT == options.cardPosition->slot
                                                   : true;
        if (wanted) {
            selected.push_back(k);
        }
    }
    if (selected.empty() && options.cardIndex) {
        error = "no card " + std::to_string(*options.cardIndex) + ": " +
                std::to_string(table.CountFound) + " KRV-5316 card(s) found";
    } else if (selected.empty() && options.cardPosition) {
        error = "no KRV-5316 card at position " +
                CardPosition(options.cardPosition->bus, options.cardPosition->slot);
    }
    return selected;
}

bool WriteFile(const std::string &path, void (*write)(std::ostream &, const CheckRun &),
               const CheckRun &run) {
    std::ofstream file(path);
    write(file, run);
    file.close();
    if (!file) {
        std::cerr << "krv5316-check: cannot write " << path << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const ParsedOptions parsed = ParseCheckOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::cerr << "krv5316-check: " << parsed.error << "\nTry 'krv5316-check --help'.\n";
        return NothingChecked;
    }
    const CheckOptions &options = *parsed.options;
    if (options.help) {
        std::cout << CheckUsage;
        return AllPassed;
    }

    TPoleKaret table;
    if (!FindCards(Krv5316DeviceId, table)) {
        std::cerr << "krv5316-check: " << table.Status << "\n";
        return NothingChecked;
    }
    if (table.CountFound == 0) {
        std::cerr << "krv5316-check: no KRV-5316 card found (" << table.CountAll
                  << " other card(s) of the maker)\n";
        return NothingChecked;
    }
    std::string error;
    const std::vector<unsigned> selected = SelectCards(table, options, error);
    if (selected.empty()) {
        std::cerr << "krv5316-check: " << error << "\n";
        return NothingChecked;
    }

    const bool terminal = isatty(STDERR_FILENO) != 0;
    CheckSettings settings;
    settings.runTime = options.runTime;
    settings.loopback = options.loopback;
    settings.wait = [](std::chrono::microseconds time) { std::this_thread::sleep_for(time); };
    if (terminal) {
        settings.progress = [&](const CardResult &card, const std::string &step) {
            std::cerr << "\r\033[K"
                      << "card " << card.index << " at " << card.position() << ": " << step << "..."
                      << std::flush;
        };
    }

    CheckRun run{UtcTimestamp(), options.loopback, {}};
    for (unsigned k : selected) {
        run.cards.push_back(CheckCard(table, k, settings));
    }
    if (terminal) {
        std::cerr << "\r\033[K" << std::flush;
    }

    WriteTextReport(std::cout, run);
    bool written = true;
    if (!options.jsonFile.empty()) {
        written &= WriteFile(options.jsonFile, WriteJsonReport, run);
    }
    if (!options.junitFile.empty()) {
        written &= WriteFile(options.junitFile, WriteJUnitReport, run);
    }
    if (run.failedCount() > 0) {
        return CardFailed;
    }
    return written ? AllPassed : NothingChecked;
}
