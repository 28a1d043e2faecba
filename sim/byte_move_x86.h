// The byte moves that a compiler makes for a volatile byte access, decoded from their
// machine code without a disassembler. The Windows trap emulates these with one
// exception per access and leaves any other instruction to the single step.
#pragma once

#include <cstdint>
#include <optional>

namespace oxsim::detail {

struct ByteMove {
    enum class Kind { Load, ZeroExtend, SignExtend, Store, StoreImmediate };
    Kind kind = Kind::Load;
    unsigned length = 0;      // of the whole instruction, in bytes
    unsigned reg = 0;         // the register operand's number, REX.R included
    bool rex = false;         // with a REX prefix, byte registers 4-7 are SPL to DIL
    unsigned resultBits = 32; // of an extending load: 16, 32 or 64
    uint8_t immediate = 0;    // of StoreImmediate
    bool operator==(const ByteMove &) const = default;
};

// Null for anything else, and for forms that reach no memory. `longMode`: 64-bit code,
// where 0x40-0x4F are REX prefixes.
std::optional<ByteMove> DecodeByteMove(const uint8_t *code, bool longMode);

} // namespace oxsim::detail
