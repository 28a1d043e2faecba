// A function's sysfs resource file, read by the driver's scan: whatever it holds, the
// scan gives BAR4 or fails with one printable line; a file without a fifth line has no
// BAR4; the fifth line alone decides; a BAR4 found reads back the same from the
// kernel's form of its line.
#include "driver_failure.h"
#include "fuzz_property.h"
#include "pci_functions.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kVendor = 0x1b5e;

// A new file each time: ext4 flushes a file truncated and written again to the disk.
void Write(const fs::path &path, std::string_view content) {
    fs::remove(path);
    std::ofstream(path, std::ios::binary) << content;
}

// A sysfs tree with one function of the vendor, removed at the end of the run.
struct Tree {
    fs::path root = fs::temp_directory_path() / ("ox9162-fuzz-" + std::to_string(getpid()));
    fs::path device = root / "devices/0000:02:0d.0";
    Tree() {
        fs::create_directories(device);
        Write(device / "vendor", "0x1b5e\n");
        Write(device / "device", "0x0123\n");
    }
    ~Tree() { fs::remove_all(root); }
};

// BAR4 as the scan found it, or the failure line.
using Outcome = std::tuple<std::string, uint64_t, uint64_t, bool>;

Outcome Scan(std::string_view resource) {
    static const Tree tree;
    Write(tree.device / "resource", resource);
    try {
        const auto found = ox9162::ScanFunctions(tree.root, {kVendor});
        fuzz::Require(found.size() == 1, "the one function is found");
        return {"", found[0].bar4Start, found[0].bar4Size, found[0].bar4IsIo};
    } catch (const ox9162::DriverFailure &failure) {
        return {failure.what(), 0, 0, false};
    }
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
    const Outcome outcome = Scan(text);
    const auto &[failure, start, bar4Size, io] = outcome;
    fuzz::Require(fuzz::IsPrintableLine(failure), "the failure is one printable line");
    if (LineStart(text, 4) == std::string_view::npos) {
        fuzz::Require(failure.empty() && bar4Size == 0, "no fifth line, no BAR4 and no failure");
    }
    if (const std::size_t sixth = LineStart(text, 5); sixth != std::string_view::npos) {
        fuzz::Require(Scan(text.substr(0, sixth)) == outcome, "the fifth line alone decides");
    }
    if (bar4Size != 0) {
        fuzz::Require(start + (bar4Size - 1) >= start, "BAR4 ends within 64 bits");
        char line[64]; // as the kernel writes it
        std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x%016llx\n",
                      static_cast<unsigned long long>(start),
                      static_cast<unsigned long long>(start + bar4Size - 1),
                      io ? 0x40101ull : 0x40200ull);
        fuzz::Require(Scan(std::string("\n\n\n\n") + line) == outcome,
                      "BAR4 reads back the same from the kernel's form of its line");
    }
    return 0;
}
