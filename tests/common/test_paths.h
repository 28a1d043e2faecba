// Paths of the programs and files a test reaches, read when it runs from the list that
// the build writes beside the test program (PROGRAM.paths, by ox_test_paths), not
// compiled in: an object then holds no path of its checkout, and the compiler's cache
// serves every clone.
#pragma once

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

// This program's own file.
inline std::string TestProgramFile() {
    std::string self(4096, '\0');
#ifdef _WIN32
    const long length = static_cast<long>(GetModuleFileNameA(nullptr, self.data(), 4096));
#else
    const long length = static_cast<long>(readlink("/proc/self/exe", self.data(), self.size()));
#endif
    self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return self;
}

// The path named, or null where the build wrote none (a program not built).
inline const char *FindTestPath(const std::string &name) {
    static const std::map<std::string, std::string> paths = [] {
        std::map<std::string, std::string> read;
        std::ifstream list(TestProgramFile() + ".paths");
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
