// OX9162_SIM_CARDS: any text gives cards, a whole-value word or one printable error
// line; one card per entry, and the cards written out in plain form read back the same.
#include "fuzz_property.h"
#include "sim_config.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>

using namespace oxsim::detail;

namespace {

auto Fields(const CardSpec &c) {
    const CardFaults &f = c.faults;
    return std::tie(c.did, c.bus, c.slot, f.noDid, f.noBus, f.noSlot, f.noOpen, f.noBar, f.noClose,
                    f.stuck, f.noDone, f.slow, f.deadCounters, f.stuckCounters, f.stuckValue,
                    f.dinLow, f.dinHigh, f.version, f.inputHzSet, f.inputHz);
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

std::string Plain(const CardSpec &c) {
    const CardFaults &f = c.faults;
    std::string text = Hex(c.did) + "@" + std::to_string(c.bus) + "/" + std::to_string(c.slot) +
                       ":slow=" + std::to_string(f.slow) + ",version=" + Hex(f.version);
    const std::pair<bool, const char *> flags[] = {
        {f.noDid, "nodid"}, {f.noBus, "nobus"},     {f.noSlot, "noslot"}, {f.noOpen, "noopen"},
        {f.noBar, "nobar"}, {f.noClose, "noclose"}, {f.stuck, "stuck"},   {f.noDone, "nodone"},
    };
    for (const auto &[on, word] : flags) {
        text += on ? std::string(",") + word : "";
    }
    for (unsigned n = 0; n < kCounterCount; ++n) {
        const auto has = [n](uint32_t set) { return (set >> n & 1u) != 0; };
        const std::string at = std::to_string(n);
        text += has(f.deadCounters) ? ",deadcnt=" + at : "";
        text +=
            has(f.stuckCounters) ? ",stuckcnt=" + at + "@" + std::to_string(f.stuckValue[n]) : "";
        text += has(f.dinLow) ? ",din0=" + at : "";
        text += has(f.dinHigh) ? ",din1=" + at : "";
        char hertz[400];
        const auto end =
            std::to_chars(hertz, hertz + sizeof hertz, f.inputHz[n], std::chars_format::fixed).ptr;
        text += has(f.inputHzSet) ? ",hz=" + at + "@" + std::string(hertz, end) : "";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const SimConfig config = ParseConfig(text);
    fuzz::Require((config.whole == Whole::Malformed) != config.error.empty(),
                  "an error exactly when the text is malformed");
    fuzz::Require(fuzz::IsPrintableLine(config.error), "the error is one printable line");
    fuzz::Require(config.whole == Whole::Cards || config.cards.empty(), "no cards beside a word");
    if (config.cards.empty()) {
        return 0;
    }
    fuzz::Require(config.cards.size() ==
                      static_cast<std::size_t>(std::count(text.begin(), text.end(), ';')) + 1,
                  "one card per entry");
    std::string plain;
    for (const CardSpec &card : config.cards) {
        plain += (plain.empty() ? "" : ";") + Plain(card);
    }
    const SimConfig again = ParseConfig(plain);
    fuzz::Require(
        again.cards.size() == config.cards.size() &&
            std::equal(again.cards.begin(), again.cards.end(), config.cards.begin(),
                       [](const auto &a, const auto &b) { return Fields(a) == Fields(b); }),
        "the cards' plain form reads back the same");
    return 0;
}
