#include "byte_move_x86.h"

namespace oxsim::detail {

std::optional<ByteMove> DecodeByteMove(const uint8_t *code, bool longMode) {
    using Kind = ByteMove::Kind;
    ByteMove move;
    const uint8_t *p = code;
    const bool operandSize16 = *p == 0x66;
    p += operandSize16 ? 1 : 0;
    unsigned rex = 0;
    if (longMode && (*p & 0xF0) == 0x40) {
        rex = *p++;
    }
    switch (*p++) {
    case 0x8A:
        move.kind = Kind::Load;
        break;
    case 0x88:
        move.kind = Kind::Store;
        break;
    case 0xC6:
        move.kind = Kind::StoreImmediate;
        break;
    case 0x0F:
        switch (*p++) {
        case 0xB6:
            move.kind = Kind::ZeroExtend;
            break;
        case 0xBE:
            move.kind = Kind::SignExtend;
            break;
        default:
            return std::nullopt;
        }
        break;
    default:
        return std::nullopt;
    }
    const bool extends = move.kind == Kind::ZeroExtend || move.kind == Kind::SignExtend;
    const unsigned modrm = *p++;
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7, rm = modrm & 7;
    // A register operand reaches no memory; 0x66 on a byte move and C6 /1-7 are not moves.
    if (mod == 3 || (operandSize16 && !extends) ||
        (move.kind == Kind::StoreImmediate && reg != 0)) {
        return std::nullopt;
    }
    if (rm == 4) {
        const unsigned sib = *p++;
        p += mod == 0 && (sib & 7) == 5 ? 4 : 0;
    } else if (mod == 0 && rm == 5) {
        p += 4;
    }
    p += mod == 1 ? 1 : mod == 2 ? 4 : 0;
    if (move.kind == Kind::StoreImmediate) {
        move.immediate = *p++;
    }
    move.reg = reg + ((rex & 0x4) != 0 ? 8 : 0);
    move.rex = rex != 0;
    move.resultBits = (rex & 0x8) != 0 ? 64 : operandSize16 ? 16 : 32;
    move.length = static_cast<unsigned>(p - code);
    return move;
}

} // namespace oxsim::detail
