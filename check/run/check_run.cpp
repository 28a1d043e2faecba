#include "check_run.h"

#include "firmware_image.h"
#include "number_text.h"
#include "utf8_text.h"

#include <cstdio>
#include <type_traits>

unsigned CheckRun::countOf(const std::string &cardVerdict) const {
    unsigned count = 0;
    for (const CardResult &card : cards) {
        count += card.verdict() == cardVerdict ? 1 : 0;
    }
    return count;
}

unsigned CheckRun::failedCount() const {
    return countOf("fail");
}

const char *CheckRun::verdict() const {
    return errorKind == "unfinished"                                 ? "unfinished"
           : !error.empty() || cards.empty() || countOf("error") > 0 ? "error"
           : failedCount() > 0                                       ? "fail"
                                                                     : "pass";
}

std::string FailedCallText(const CardAccessOutcome &failure) {
    const std::string call = LibraryCallName(failure.call);
    if (failure.kind == CardAccessOutcome::CallFailed) {
        return call + " returned " + std::to_string(failure.status);
    }
    return failure.detail.empty() ? call + " raised an exception"
                                  : call + " raised: " + SystemTextToUtf8(failure.detail);
}

std::string BurnInLine(const BurnInRecord &record) {
    std::string line = std::to_string(record.cyclesRun) + " cycle" +
                       (record.cyclesRun == 1 ? "" : "s") + " run, " +
                       std::to_string(record.cyclesFailed) + " failed";
    const char *separator = "; failures by step: ";
    for (const auto &[step, count] : record.stepFailures) {
        if (count > 0) {
            line += separator + step + " " + std::to_string(count);
            separator = ", ";
        }
    }
    return line;
}

std::string FailureLine(const FailureRecord &failure) {
    return "cycle " + std::to_string(failure.cycle) + " at " + failure.time + " (" +
           cardstep::Fixed(failure.seconds, 1) + " s into the run), " + failure.step + " " +
           OutcomeName(failure.outcome) + ": " + failure.seen;
}

std::string SummaryLine(const CheckRun &run) {
    const auto checked = static_cast<unsigned>(run.cards.size());
    const unsigned interrupted = run.countOf("interrupted");
    const unsigned unjudged = run.countOf("error");
    return "Summary: " + std::to_string(checked) + (checked == 1 ? " card" : " cards") +
           " checked, " + std::to_string(run.countOf("pass")) + " passed, " +
           std::to_string(run.failedCount()) + " failed" +
           (interrupted > 0 ? ", " + std::to_string(interrupted) + " interrupted" : "") +
           (unjudged > 0 ? ", " + std::to_string(unjudged) + " not judged" : "") +
           (run.unreadable.empty() ? ""
                                   : ", " + std::to_string(run.unreadable.size()) + " not read");
}

uint32_t FirmwareImageCrc32() {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : FirmwareImage) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
    }
    return ~crc;
}

std::string FigureText(const FigureValue &value) {
    const auto one = [](const auto &item) -> std::string {
        using T = std::decay_t<decltype(item)>;
        if constexpr (std::is_same_v<T, bool>) {
            return item ? "true" : "false";
        } else if constexpr (std::is_same_v<T, double>) {
            char text[48];
            std::snprintf(text, sizeof text, "%.9g", item);
            return text;
        } else if constexpr (std::is_same_v<T, std::string>) {
            return item;
        } else {
            return std::to_string(item);
        }
    };
    return std::visit(
        [&one](const auto &v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::vector<int64_t>> ||
                          std::is_same_v<T, std::vector<double>>) {
                std::string text;
                for (const auto &item : v) {
                    text += (text.empty() ? "" : " ") + one(item);
                }
                return text;
            } else {
                return one(v);
            }
        },
        value);
}
