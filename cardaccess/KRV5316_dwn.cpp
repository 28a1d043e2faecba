// Firmware download into the card's FPGA, byte by byte with a handshake per byte.
#include "KRV5316_dwn.h"

#include "KRV5316_regs.h"

namespace {

// This module's own byte access, so that the download depends on nothing else of the
// program; same rule as ReadReg/WriteReg: one byte access per call, in program order.
uint8_t Read(uintptr_t address) {
    return *reinterpret_cast<const volatile uint8_t *>(address);
}

void Write(uintptr_t address, uint8_t value) {
    *reinterpret_cast<volatile uint8_t *>(address) = value;
}

constexpr uint8_t ConfPulse = 0x01;
constexpr uint8_t ConfLoad = 0x02;
constexpr uint8_t ConfIdle = 0x00;

// A card takes a byte within microseconds. The clock is read only once the first
// status read has missed bit 5, so a healthy card costs no clock reads at all. The
// time is taken before each read: a read that misses after the deadline proves the
// card had the whole bound, even if this thread was descheduled in between.
bool WaitReady(uintptr_t conf) {
    if (Read(conf) & ConfStatusReady) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + FirmwareByteTimeout;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (Read(conf) & ConfStatusReady) {
            return true;
        }
        if (now >= deadline) {
            return false;
        }
    }
}

} // namespace

bool LoadFirmware(uintptr_t base) {
    const uintptr_t conf = base + Reg::CONF;
    const uintptr_t data = base + Reg::DATA0;
    Write(conf, ConfPulse);
    Write(conf, ConfIdle);
    Write(conf, ConfLoad);
    for (const uint8_t byte : FirmwareImage) {
        Write(data, byte);
        if (!WaitReady(conf)) {
            // A card that stops taking bytes must not hang the window: end the
            // transfer and report the download as failed.
            Write(conf, ConfIdle);
            return false;
        }
    }
    Write(conf, ConfIdle);
    return (Read(conf) & ConfStatusDone) != 0;
}
