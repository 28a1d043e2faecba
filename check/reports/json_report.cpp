#include "check_report.h"

#include "KRV5316_regs.h"
#include "firmware_image.h"
#include "utf8_text.h"

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

json Value(const FigureValue &value) {
    return std::visit([](const auto &v) { return json(v); }, value);
}

// Absent things are null rather than empty texts.
json TextOrNull(const std::string &text) {
    return text.empty() ? json(nullptr) : json(text);
}

json Options(const CheckOptions &o) {
    return {{"card", TextOrNull(o.card)},
            {"loopback", o.loopback},
            {"run_time_ms", o.runTime.count()},
            {"expect_hz", o.expected.hertz.empty() ? json(nullptr) : json(o.expected.hertz)},
            {"tolerance_pct", o.expected.tolerancePct},
            {"repeat", o.repeat ? json(*o.repeat) : json(nullptr)},
            {"duration_s", o.duration ? json(o.duration->count()) : json(nullptr)},
            {"stop_on_failure", o.stopOnFailure},
            {"json", TextOrNull(o.jsonFile)},
            {"junit", TextOrNull(o.junitFile)}};
}

json Step(const StepResult &step, std::size_t number) {
    json figures = json::object();
    for (const Figure &figure : step.figures) {
        figures[figure.name] = Value(figure.value);
    }
    return {{"number", number},
            {"name", step.name},
            {"outcome", OutcomeName(step.outcome)},
            {"expected", step.ran() ? json(step.expected) : json(nullptr)},
            {"seen", step.ran() ? json(step.seen) : json(nullptr)},
            {"seconds", step.seconds},
            {"figures", figures}};
}

json Failure(const FailureRecord &failure) {
    return {{"cycle", failure.cycle},
            {"time", failure.time},
            {"seconds", failure.seconds},
            {"step", failure.step},
            {"outcome", OutcomeName(failure.outcome)},
            {"seen", failure.seen}};
}

// Null without a burn-in.
json BurnIn(const std::optional<BurnInRecord> &record) {
    if (!record) {
        return nullptr;
    }
    json steps = json::object();
    for (const auto &[step, count] : record->stepFailures) {
        if (count > 0) {
            steps[step] = count;
        }
    }
    json kept = json::array();
    for (const auto *list : {&record->firstFailures, &record->lastFailures}) {
        for (const FailureRecord &failure : *list) {
            kept.push_back(Failure(failure));
        }
    }
    const auto orNull = [](const FailureRecord *failure) {
        return failure == nullptr ? json(nullptr) : Failure(*failure);
    };
    return {{"cycles_run", record->cyclesRun},
            {"cycles_failed", record->cyclesFailed},
            {"step_failures", steps},
            {"first_failure", orNull(record->first())},
            {"last_failure", orNull(record->last())},
            {"failures", kept},
            {"failures_left_out", record->failuresLeftOut}};
}

json Card(const CardResult &card) {
    json steps = json::array();
    for (std::size_t s = 0; s < card.steps.size(); ++s) {
        steps.push_back(Step(card.steps[s], s + 1));
    }
    return {{"index", card.index},
            {"library_number", card.number},
            {"position", card.position()},
            {"bus", card.bus},
            {"slot", card.slot},
            {"started", card.started},
            {"firmware_version", TextOrNull(card.firmwareVersion)},
            {"verdict", card.verdict()},
            {"steps", steps},
            {"burn_in", BurnIn(card.burnIn)}};
}

// What the library answered for a card it reported but whose ID, bus or slot could
// not be read: the status a call returned, or the text of the exception it raised.
json Unreadable(const UnreadableCard &card) {
    const bool threw = card.Failure.kind == CardAccessOutcome::CallThrew;
    return {{"library_number", card.CardNo},
            {"call", LibraryCallName(card.Failure.call)},
            {"status", threw ? json(nullptr) : json(card.Failure.status)},
            {"exception", threw ? json(SystemTextToUtf8(card.Failure.detail)) : json(nullptr)}};
}

json Properties(const CheckOptions &options) {
    json properties = json::object();
    for (const auto &[name, value] : options.properties) {
        properties[name] = ValidUtf8(value);
    }
    return properties;
}

json Summary(const CheckRun &run) {
    json summary = {{"checked", run.cards.size()},
                    {"passed", run.countOf("pass")},
                    {"failed", run.failedCount()}};
    // Only an interrupted run, or one that could not judge a card, has cards that were
    // neither passed nor failed.
    for (const char *verdict : {"interrupted", "error"}) {
        if (const unsigned count = run.countOf(verdict); count > 0) {
            summary[verdict] = count;
        }
    }
    return summary;
}

} // namespace

std::string JsonReport(const CheckRun &run) {
    json cards = json::array();
    for (const CardResult &card : run.cards) {
        cards.push_back(Card(card));
    }
    json unreadable = json::array();
    for (const UnreadableCard &card : run.unreadable) {
        unreadable.push_back(Unreadable(card));
    }
    const json report = {
        {"schema", kJsonSchema},
        {"tool", "krv5316-check"},
        {"version", run.version},
        {"host", TextOrNull(run.host)},
        {"started", run.started},
        {"properties", Properties(run.options)},
        {"options", Options(run.options)},
        {"firmware",
         {{"bytes", FirmwareImage.size()},
          {"crc32", FirmwareImageCrc32()},
          {"version", VersionText(kKrv5316FirmwareVersion)}}},
        {"error",
         run.error.empty() ? json(nullptr) : json{{"kind", run.errorKind}, {"message", run.error}}},
        {"warning", nullptr}, // kept for the schema's readers: what it warned of is an error now
        {"cards", cards},
        {"unreadable_cards", unreadable},
        {"summary", Summary(run)},
        {"verdict", run.verdict()},
    };
    // Texts from the card table may hold bytes that are no UTF-8: replace them.
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
