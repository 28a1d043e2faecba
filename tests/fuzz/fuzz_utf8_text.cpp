// The cleaner of outside text: its output is always UTF-8 without U+FFFE and U+FFFF,
// and such text passes through it unchanged.
#include "fuzz_property.h"
#include "utf8_text.h"

#include <cstddef>
#include <cstdint>

namespace {

bool IsClean(const std::optional<std::u32string> &points) {
    return points && points->find(U'\uFFFE') == std::u32string::npos &&
           points->find(U'\uFFFF') == std::u32string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string cleaned = ValidUtf8(text);
    fuzz::Require(IsClean(fuzz::CodePoints(cleaned)), "the output is UTF-8 with no noncharacter");
    if (IsClean(fuzz::CodePoints(text))) {
        fuzz::Require(cleaned == text, "clean UTF-8 passes unchanged");
    }
    return 0;
}
