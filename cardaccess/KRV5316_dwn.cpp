// Firmware download into the card's FPGA, byte by byte with a handshake per byte.
#include "KRV5316_dwn.h"

#include "KRV5316_regs.h"

#include <algorithm>

namespace {

// This module's own byte access, so that the download depends on nothing else of the
// program; same rule as ReadReg/WriteReg: one byte access per call, in program order.
uint8_t Read(uintptr_t address) {
    return *reinterpret_cast<const volatile uint8_t *>(address);
}

void Write(uintptr_t address, uint8_t value) {
    *reinterpret_cast<volatile uint8_t *>(address) = value;
}

constexpr uint8_t kConfPulse = 0x01;
constexpr uint8_t kConfLoad = 0x02;
constexpr uint8_t kConfIdle = 0x00;

std::chrono::nanoseconds SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

// A card takes a byte within microseconds. The clock is read only once the first
// status read has missed bit 5, so a healthy card costs no clock reads here. The
// time is taken before each read: a read that misses after the deadline proves the
// card had the whole bound, even if this thread was descheduled in between.
bool WaitReady(uintptr_t conf, DownloadClock now, std::chrono::nanoseconds transferDeadline) {
    if (Read(conf) & kConfStatusReady) {
        return true;
    }
    const auto deadline =
        std::min<std::chrono::nanoseconds>(now() + kFirmwareByteTimeout, transferDeadline);
    for (;;) {
        const auto time = now();
        if (Read(conf) & kConfStatusReady) {
            return true;
        }
        if (time >= deadline) {
            return false;
        }
    }
}

} // namespace

bool LoadFirmware(uintptr_t base) {
    return LoadFirmware(base, SteadyNow);
}

bool LoadFirmware(uintptr_t base, DownloadClock now) {
    const uintptr_t conf = base + reg::CONF;
    const uintptr_t data = base + reg::DATA0;
    const auto transferDeadline = now() + kFirmwareDownloadTimeout;
    Write(conf, kConfPulse);
    Write(conf, kConfIdle);
    Write(conf, kConfLoad);
    for (const uint8_t byte : FirmwareImage) {
        Write(data, byte);
        // One clock read a byte, against a trapped or bus access of a microsecond or
        // more, bounds even a card that is ready at once on a crawling bus.
        if (!WaitReady(conf, now, transferDeadline) || now() >= transferDeadline) {
            // A card that stops taking bytes, or takes them too slowly, must not hold
            // the window: end the transfer and report the download as failed.
            Write(conf, kConfIdle);
            return false;
        }
    }
    Write(conf, kConfIdle);
    return (Read(conf) & kConfStatusDone) != 0;
}
