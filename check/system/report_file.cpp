// Which file a report's name reaches, the same on every system.
#include "report_file.h"
#include "report_file_system.h"

namespace fs = std::filesystem;

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
