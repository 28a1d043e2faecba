// Register operations of the KRV-5316. The accesses of each operation come in exactly
// this order: the card latches on the SEL write, and the reads depend on it.
#include "KRV5316_regs.h"

#include "zovak_ox9162.h"

uint8_t ReadVersion(uintptr_t base) {
    return ReadReg(base + reg::VERSION);
}

std::string VersionText(uint8_t version) {
    return std::to_string(version >> 4) + "." + std::to_string(version & 0x0F);
}

uint32_t ReadCounter(uintptr_t base, unsigned n) {
    WriteReg(base + reg::SEL, static_cast<uint8_t>(n));
    // Separate statements: the order of the reads is part of the protocol.
    uint32_t value = uint32_t{ReadReg(base + reg::DATA3)} << 24;
    value |= uint32_t{ReadReg(base + reg::DATA2)} << 16;
    value |= uint32_t{ReadReg(base + reg::DATA1)} << 8;
    value |= uint32_t{ReadReg(base + reg::DATA0)};
    return value;
}

Mask3 ReadInputLevels(uintptr_t base) {
    WriteReg(base + reg::SEL, kSelInputLevels);
    Mask3 levels{};
    levels[0] = ReadReg(base + reg::DATA0);
    levels[1] = ReadReg(base + reg::DATA1);
    levels[2] = ReadReg(base + reg::DATA2);
    return levels;
}

void WriteStartStop(uintptr_t base, uint8_t m0, uint8_t m1, uint8_t m2) {
    WriteReg(base + reg::DATA0, m0);
    WriteReg(base + reg::DATA1, m1);
    WriteReg(base + reg::DATA2, m2);
}

void WriteClearMask(uintptr_t base, uint8_t c0, uint8_t c1, uint8_t c2) {
    WriteReg(base + reg::CLR0, c0);
    WriteReg(base + reg::CLR1, c1);
    WriteReg(base + reg::CLR2, c2);
}

uint8_t ReadDin(uintptr_t base) {
    return ReadReg(base + reg::DIN);
}

void WriteDout(uintptr_t base, uint8_t value) {
    WriteReg(base + reg::DOUT, value);
}

void WriteXdout(uintptr_t base, uint8_t value) {
    WriteReg(base + reg::XDOUT, value);
}
