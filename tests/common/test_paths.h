// Paths of the programs and files a test reaches, read when it runs from the list that
// the build writes beside the test program (PROGRAM.paths, by ox_test_paths), not
// compiled in: an object then holds no path of its checkout, and the compiler's cache
// serves every clone.
#pragma once

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

// The path named, or null where the build wrote none (a program not built).
inline const char *FindTestPath(const std::string &name) {
    static const std::map<std::string, std::string> paths = [] {
        std::string self(4096, '\0');
        const ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
        self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        std::map<std::string, std::string> read;
        std::ifstream list(self + ".paths");
        for (std::string line; std::getline(list, line);) {
            const std::size_t equals = line.find('=');
            read[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return read;
    }();
    const auto found = paths.find(name);
    return found != paths.end() ? found->second.c_str() : nullptr;
}

inline const char *TestPath(const std::string &name) {
    const char *const path = FindTestPath(name);
    if (path == nullptr) {
        throw std::runtime_error("no path " + name + " beside the test program");
    }
    return path;
}
