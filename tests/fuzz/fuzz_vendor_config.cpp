// The driver's configuration file: any content gives vendor IDs or one printable error
// line, never both; the IDs are real ones, each once, and their plain form reads back
// the same.
#include "fuzz_property.h"
#include "vendor_config.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr std::string_view kPath = "/etc/ox9162.conf";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const ox9162::VendorConfig config = ox9162::ParseVendorConfig(text, kPath);
    fuzz::Require(config.vendors.empty() != config.error.empty(), "vendors or an error");
    fuzz::Require(fuzz::IsPrintableLine(config.error), "the error is one printable line");
    const std::set<uint16_t> distinct(config.vendors.begin(), config.vendors.end());
    fuzz::Require(distinct.size() == config.vendors.size(), "each vendor once");
    fuzz::Require(!distinct.count(0x0000) && !distinct.count(0xFFFF), "no vendor 0000 or FFFF");
    if (config.vendors.empty()) {
        return 0;
    }
    std::string plain;
    for (const uint16_t vendor : config.vendors) {
        char line[32];
        std::snprintf(line, sizeof line, "vendor 0x%04x\n", vendor);
        plain += line;
    }
    fuzz::Require(ox9162::ParseVendorConfig(plain, kPath).vendors == config.vendors,
                  "the plain form reads back the same");
    return 0;
}
