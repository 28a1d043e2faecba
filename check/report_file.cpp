// What the report files of every system share: which file a name reaches, and the
// temporary file's name.
#include "report_file.h"
#include "report_file_system.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace cardstep::detail {

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

std::string TemporaryName(unsigned attempt) {
    const auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char name[24];
    std::snprintf(name, sizeof name, ".krv5316-%08llx",
                  (now ^ (attempt * 0x9E3779B97F4A7C15ull)) & 0xFFFFFFFFull);
    return name;
}

} // namespace cardstep::detail

namespace {

using cardstep::detail::Reach;

Reach ReachOf(const std::string &name) {
    Reach reach;
    if (cardstep::detail::ExistingReach(name, reach)) {
        return reach;
    }
    const fs::path path = cardstep::detail::LinkTarget(name);
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (cardstep::detail::ExistingReach(cardstep::detail::NameOf(parent), reach)) {
        reach.stream = false;
        reach.name = cardstep::detail::NameKey(cardstep::detail::NameOf(path.filename()));
    }
    return reach;
}

} // namespace

bool SameFile(const std::string &a, const std::string &b) {
    const Reach first = ReachOf(a);
    const Reach second = ReachOf(b);
    // Streams take one report after the other: two null devices, or standard output twice.
    if (first.stream || second.stream) {
        return false;
    }
    if (first.known && second.known) {
        return first == second;
    }
    // Neither the file nor its folder exists: then only the spelling can tell.
    const auto key = [](const std::string &name) {
        std::error_code error;
        return cardstep::detail::NameKey(cardstep::detail::NameOf(
            fs::absolute(cardstep::detail::PathOf(name), error).lexically_normal()));
    };
    return key(a) == key(b);
}
