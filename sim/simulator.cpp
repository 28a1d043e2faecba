#include "simulator.h"

#include "library_name.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#ifdef _WIN32
#include "wide_text.h"
#endif

namespace oxsim::detail {
namespace {

// The variable's text as UTF-8: on Windows from the wide environment, so a trace path
// outside the ANSI code page survives; elsewhere the bytes as they are.
std::optional<std::string> Environment(const char *name) {
#ifdef _WIN32
    return oxtext::EnvironmentValue(name);
#else
    const char *value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

} // namespace

Simulator &Simulator::Get() {
    static Simulator simulator;
    return simulator;
}

// Load time: the trace file exists from the start, even if nothing is ever called.
[[gnu::constructor]] static void CreateAtLoad() {
    Simulator::Get();
}

Simulator::Simulator() : trap_(kMaxCards, *this) {
    const std::optional<std::string> trace = Environment("OX9162_SIM_TRACE");
    trace_.OpenFile(trace ? trace->c_str() : nullptr);
}

void Simulator::EnsureConfigured() {
    if (!configured_) {
        ConfigureFromEnvironment();
    }
}

void Simulator::ConfigureFromEnvironment() {
    const std::optional<std::string> text = Environment("OX9162_SIM_CARDS");
    std::string error;
    if (!Configure(text ? std::string_view(*text) : kDefaultCards, &error)) {
        std::fprintf(stderr, "%s: OX9162_SIM_CARDS: %s\n", kLibraryName, error.c_str());
    }
}

bool Simulator::Configure(std::string_view text, std::string *error) {
    config_ = ParseConfig(text);
    configured_ = true;
    clock_.Restart();
    cards_.clear();
    for (const CardSpec &spec : config_.cards) {
        cards_.push_back(std::make_unique<SimCard>(SimCard{spec, CardModel(spec, clock_)}));
    }
    trace_.Clear();
    if (error != nullptr) {
        *error = config_.error;
    }
    return config_.whole != Whole::Malformed;
}

SimCard *Simulator::Card(uint32_t number) {
    return number < cards_.size() ? cards_[number].get() : nullptr;
}

uintptr_t Simulator::Window(uint32_t number) {
    return trap_.Window(number);
}

void Simulator::UseVirtualClock() {
    for (auto &card : cards_) {
        card->model.Settle();
    }
    clock_.UseVirtual();
    for (auto &card : cards_) {
        card->model.Restamp();
    }
}

void Simulator::UseRealClock() {
    for (auto &card : cards_) {
        card->model.Settle();
    }
    clock_.UseReal();
}

void Simulator::ReadWindow(std::size_t window, uint32_t offset, uint8_t *bytes, unsigned width) {
    SimCard *card = window < cards_.size() ? cards_[window].get() : nullptr;
    const bool open = card != nullptr && card->open;
    for (unsigned i = 0; i < width; ++i) {
        bytes[i] = open ? card->model.Read(offset + i) : 0xFF;
    }
    trace_.RecordAccess(AccessEvent::Read, !open, static_cast<uint32_t>(window), offset, bytes,
                        width);
}

void Simulator::WriteWindow(std::size_t window, uint32_t offset, const uint8_t *bytes,
                            unsigned width) {
    SimCard *card = window < cards_.size() ? cards_[window].get() : nullptr;
    const bool open = card != nullptr && card->open;
    if (open) {
        for (unsigned i = 0; i < width; ++i) {
            card->model.Write(offset + i, bytes[i]);
        }
    }
    trace_.RecordAccess(AccessEvent::Write, !open, static_cast<uint32_t>(window), offset, bytes,
                        width);
}

} // namespace oxsim::detail
