// A function's sysfs resource file: whatever it holds, the parser gives BAR4 or one
// printable line saying why not; a file without a fifth line has no BAR4; the fifth
// line alone decides; a BAR4 found reads back the same from the kernel's form of its line.
#include "fuzz_property.h"
#include "sysfs_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>

namespace {

auto Fields(const ox9162::ResourceBar &bar) {
    return std::tie(bar.error, bar.start, bar.size, bar.isIo);
}

// Where line n (from 0) begins, npos when the text has no such line.
std::size_t LineStart(std::string_view text, int n) {
    std::size_t at = 0;
    for (int line = 0; line < n && at != std::string_view::npos; ++line) {
        at = text.find('\n', at);
        at =
            at == std::string_view::npos || at + 1 == text.size() ? std::string_view::npos : at + 1;
    }
    return at;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const ox9162::ResourceBar bar = ox9162::ParseResourceBar4(text);
    fuzz::Require(fuzz::IsPrintableLine(bar.error), "the error is one printable line");
    if (LineStart(text, 4) == std::string_view::npos) {
        fuzz::Require(bar.error.empty() && bar.size == 0, "no fifth line, no BAR4 and no error");
    }
    if (const std::size_t sixth = LineStart(text, 5); sixth != std::string_view::npos) {
        const ox9162::ResourceBar alone = ox9162::ParseResourceBar4(text.substr(0, sixth));
        fuzz::Require(Fields(alone) == Fields(bar), "the fifth line alone decides");
    }
    if (bar.size != 0) {
        fuzz::Require(bar.start + (bar.size - 1) >= bar.start, "BAR4 ends within 64 bits");
        char line[80]; // as the kernel writes it
        std::snprintf(line, sizeof line, "\n\n\n\n0x%016llx 0x%016llx 0x%016llx\n",
                      static_cast<unsigned long long>(bar.start),
                      static_cast<unsigned long long>(bar.start + bar.size - 1),
                      bar.isIo ? 0x40101ull : 0x40200ull);
        const ox9162::ResourceBar again = ox9162::ParseResourceBar4(line);
        fuzz::Require(Fields(again) == Fields(bar),
                      "BAR4 reads back the same from the kernel's form of its line");
    }
    return 0;
}
