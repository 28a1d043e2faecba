// The Windows trap's decoder of byte moves: every addressing form's length and
// register, and what it must leave to the single step. A wrong length would resume
// the program in the middle of an instruction.
#include "byte_move_x86.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using oxsim::detail::ByteMove;
using Kind = ByteMove::Kind;

struct Form {
    const char *what;
    bool longMode;
    std::vector<uint8_t> code;
    std::optional<ByteMove> move; // kind, length, reg, rex, resultBits, immediate
};

// clang-format off
const Form kForms[] = {
    {"movzbl 0x3fc(%eax),%eax", false, {0x0F, 0xB6, 0x80, 0xFC, 0x03, 0, 0},
     ByteMove{Kind::ZeroExtend, 7, 0, false, 32, 0}},
    {"movb $2,0x3fc(%ebx)", false, {0xC6, 0x83, 0xFC, 0x03, 0, 0, 0x02},
     ByteMove{Kind::StoreImmediate, 7, 0, false, 32, 2}},
    {"movb %al,(%esp)", false, {0x88, 0x04, 0x24}, ByteMove{Kind::Store, 3, 0, false, 32, 0}},
    {"mov 5(%ebx,%ecx),%ah", false, {0x8A, 0x64, 0x0B, 0x05}, ByteMove{Kind::Load, 4, 4, false, 32, 0}},
    {"movzbw (%edi),%ax", false, {0x66, 0x0F, 0xB6, 0x07}, ByteMove{Kind::ZeroExtend, 4, 0, false, 16, 0}},
    {"mov %r9b,0x10(%rax)", true, {0x44, 0x88, 0x48, 0x10}, ByteMove{Kind::Store, 4, 9, true, 32, 0}},
    {"mov (%rax),%sil", true, {0x40, 0x8A, 0x30}, ByteMove{Kind::Load, 3, 6, true, 32, 0}},
    {"movsbq 0x1000,%rax", true, {0x48, 0x0F, 0xBE, 0x04, 0x25, 0, 0x10, 0, 0},
     ByteMove{Kind::SignExtend, 9, 0, true, 64, 0}},
    {"movb $7,0x10(%rip)", true, {0xC6, 0x05, 0x10, 0, 0, 0, 0x07},
     ByteMove{Kind::StoreImmediate, 7, 0, false, 32, 7}},
    // Left to the single step.
    {"mov %al,%al (no memory)", false, {0x8A, 0xC0}, std::nullopt},
    {"C6 /1 is no move", false, {0xC6, 0x48, 0x10, 0x05}, std::nullopt},
    {"0x66 on a byte move", false, {0x66, 0x88, 0x07}, std::nullopt},
    {"a 32-bit move", false, {0x8B, 0x07}, std::nullopt},
    {"0x40 is inc %eax in 32-bit code", false, {0x40, 0x8A, 0x00}, std::nullopt},
    {"testb $0x20,(%eax)", false, {0xF6, 0x00, 0x20}, std::nullopt},
};
// clang-format on

TEST(ByteMoveDecoder, EachFormHasItsLengthAndRegisterOrIsLeftToTheStep) {
    for (const Form &f : kForms) {
        std::vector<uint8_t> code = f.code;
        code.insert(code.end(), 4, 0x90); // the next instruction
        EXPECT_TRUE(oxsim::detail::DecodeByteMove(code.data(), f.longMode) == f.move) << f.what;
    }
}

} // namespace
