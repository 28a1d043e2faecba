// What the report files need of each system (report_file_posix.cpp,
// report_file_windows.cpp) to tell which file a name reaches (report_file.cpp).
#pragma once

#include <filesystem>
#include <string>

namespace cardstep::detail {

// What a report's name reaches: the file where it exists, else its folder and its name
// there.
struct Reach {
    bool known = false;
    bool stream = false; // a device, a pipe, standard output's file: never replaced
    unsigned long long device = 0;
    unsigned long long file = 0;
    std::string name; // empty for an existing file
    bool operator==(const Reach &) const = default;
};

// Each system's own.
// A name (UTF-8 on Windows, the bytes elsewhere) as a path, and back.
std::filesystem::path PathOf(const std::string &name);
std::string NameOf(const std::filesystem::path &path);
bool ExistingReach(const std::string &path, Reach &reach);
std::string NameKey(const std::string &name); // as the file system compares names
// Where a name would make its file through links (on Windows, with the trailing dots and
// spaces it drops): only to compare names, never to write.
std::filesystem::path LinkTarget(const std::string &path);

} // namespace cardstep::detail
