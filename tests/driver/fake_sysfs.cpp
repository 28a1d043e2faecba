#include "fake_sysfs.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path &path, const std::string &text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string Hex(const char *format, uint64_t value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Seven lines "start end flags" as the kernel writes them; only BAR4 is present.
std::string ResourceLines(const FakeFunction &f) {
    constexpr uint64_t kMemory = 0x40200, kIo = 0x40101;
    std::string text;
    for (int bar = 0; bar < 7; ++bar) {
        const bool present = bar == 4 && f.bar4Size != 0;
        const uint64_t start = present ? f.bar4Start : 0;
        text += Hex("0x%016" PRIx64, start) + ' ' +
                Hex("0x%016" PRIx64, present ? start + f.bar4Size - 1 : 0) + ' ' +
                Hex("0x%016" PRIx64, present ? (f.bar4Io ? kIo : kMemory) : 0) + '\n';
    }
    return text;
}

} // namespace

FakeSysfs::FakeSysfs(const std::vector<FakeFunction> &functions, const std::string &config) {
    std::string pattern = (fs::temp_directory_path() / "ox9162-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    dir_ = pattern;
    Write(ConfigFile(), config);
    fs::create_directories(Root() / "devices");
    for (const FakeFunction &f : functions) {
        const fs::path device = Device(f.address);
        fs::create_directory(device);
        Write(device / "vendor", Hex("0x%04" PRIx64 "\n", f.vendor));
        Write(device / "device", Hex("0x%04" PRIx64 "\n", f.device));
        Write(device / "resource", ResourceLines(f));
        Write(device / "enable", "0\n");
        if (f.bar4Size != 0) {
            Write(device / "resource4", "");
            fs::resize_file(device / "resource4", f.bar4Size);
        }
        if (!f.driver.empty()) {
            fs::create_directories(Root() / "drivers" / f.driver);
            fs::create_directory_symlink(Root() / "drivers" / f.driver, device / "driver");
        }
    }
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void FakeSysfs::Use() const {
    ::setenv("OX9162_SYSFS", Root().c_str(), 1);
    ::setenv("OX9162_CONFIG", ConfigFile().c_str(), 1);
}
