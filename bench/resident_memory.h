// This process's resident set, for the benchmarks that keep memory flat.
#pragma once

#include <fstream>
#include <unistd.h>

// In KiB, from /proc.
inline double ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    double size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}
