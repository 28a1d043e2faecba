// A fake sysfs PCI tree in a temporary directory, as the driver library reads it, with a
// configuration file beside it. BAR4's resource file is a regular file, so what the
// library maps lands in it.
#pragma once

#include "shell_run.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

struct FakeFunction {
    std::string address; // "dddd:bb:ss.f"
    uint16_t vendor = 0;
    uint16_t device = 0;
    uint64_t bar4Size = 0x1000;
    bool bar4Io = false;
    std::string driver = {}; // a bound kernel driver; empty: none
    uint64_t bar4Start = 0xfe000000;
};

// A command prefix under which file modes bind as they do for a technician: as root, the
// command runs without the capabilities that override them.
inline std::string AsTechnician() {
    return ::geteuid() == 0
               ? "setpriv --bounding-set=-dac_override,-dac_read_search --inh-caps=-all "
               : "";
}

class FakeSysfs {
  public:
    FakeSysfs(const std::vector<FakeFunction> &functions, const std::string &config);
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;

    // Points the library at this tree and configuration (OX9162_SYSFS, OX9162_CONFIG).
    void Use() const;

    std::filesystem::path Root() const { return dir_ / "pci"; }
    std::filesystem::path ConfigFile() const { return dir_ / "ox9162.conf"; }
    std::filesystem::path Device(const std::string &address) const {
        return Root() / "devices" / address;
    }

    // Runs a shell command on this tree, its output kept in files beside it.
    ShellRun Shell(const std::string &command) const {
        Use();
        return RunShell(command, dir_);
    }

  private:
    std::filesystem::path dir_;
};
