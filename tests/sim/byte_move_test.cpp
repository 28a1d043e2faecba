// The Windows trap's decoder of byte moves: every addressing form's length, the
// register meant, and the instructions it must leave to the single step. A wrong
// length would resume the program in the middle of an instruction.
#include "byte_move_x86.h"

#include <gtest/gtest.h>

#include <vector>

using oxsim::detail::ByteMove;
using oxsim::detail::DecodeByteMove;
using Kind = ByteMove::Kind;

namespace {

struct Form {
    const char *what;
    bool longMode;
    std::vector<uint8_t> code; // followed in memory by bytes of another instruction
    Kind kind;
    unsigned length, reg;
    bool rex;
    unsigned resultBits;
    uint8_t immediate;
};

// clang-format off
const Form kForms[] = {
    {"movzbl 0x3fc(%eax),%eax", false, {0x0F, 0xB6, 0x80, 0xFC, 0x03, 0, 0},
     Kind::ZeroExtend, 7, 0, false, 32, 0},
    {"movb $2,0x3fc(%ebx)", false, {0xC6, 0x83, 0xFC, 0x03, 0, 0, 0x02},
     Kind::StoreImmediate, 7, 0, false, 32, 2},
    {"movb %al,(%esp)", false, {0x88, 0x04, 0x24}, Kind::Store, 3, 0, false, 32, 0},
    {"mov 5(%ebx,%ecx),%ah", false, {0x8A, 0x64, 0x0B, 0x05}, Kind::Load, 4, 4, false, 32, 0},
    {"movzbw (%edi),%ax", false, {0x66, 0x0F, 0xB6, 0x07}, Kind::ZeroExtend, 4, 0, false, 16, 0},
    {"mov %r9b,0x10(%rax)", true, {0x44, 0x88, 0x48, 0x10}, Kind::Store, 4, 9, true, 32, 0},
    {"mov (%rax),%sil", true, {0x40, 0x8A, 0x30}, Kind::Load, 3, 6, true, 32, 0},
    {"movsbq 0x1000,%rax", true, {0x48, 0x0F, 0xBE, 0x04, 0x25, 0, 0x10, 0, 0},
     Kind::SignExtend, 9, 0, true, 64, 0},
    {"movb $7,0x10(%rip)", true, {0xC6, 0x05, 0x10, 0, 0, 0, 0x07},
     Kind::StoreImmediate, 7, 0, false, 32, 7},
};
// clang-format on

TEST(ByteMoveDecoder, EachFormHasItsLengthAndRegister) {
    for (const Form &f : kForms) {
        std::vector<uint8_t> code = f.code;
        code.insert(code.end(), {0x90, 0x90, 0x90, 0x90});
        const auto move = DecodeByteMove(code.data(), f.longMode);
        ASSERT_TRUE(move.has_value()) << f.what;
        EXPECT_EQ(move->kind, f.kind) << f.what;
        EXPECT_EQ(move->length, f.length) << f.what;
        EXPECT_EQ(move->reg, f.reg) << f.what;
        EXPECT_EQ(move->rex, f.rex) << f.what;
        if (f.kind == Kind::ZeroExtend || f.kind == Kind::SignExtend) {
            EXPECT_EQ(move->resultBits, f.resultBits) << f.what;
        }
        EXPECT_EQ(move->immediate, f.immediate) << f.what;
    }
}

TEST(ByteMoveDecoder, LeavesEverythingElseToTheSingleStep) {
    const std::vector<std::pair<const char *, std::vector<uint8_t>>> others = {
        {"mov %al,%al (no memory)", {0x8A, 0xC0}},
        {"C6 /1 is no move", {0xC6, 0x48, 0x10, 0x05}},
        {"0x66 on a byte move", {0x66, 0x88, 0x07}},
        {"a 32-bit move", {0x8B, 0x07}},
        {"0x40 is inc %eax in 32-bit code", {0x40, 0x8A, 0x00}},
        {"testb $0x20,(%eax)", {0xF6, 0x00, 0x20}},
    };
    for (const auto &[what, code] : others) {
        EXPECT_FALSE(DecodeByteMove(code.data(), false).has_value()) << what;
    }
}

} // namespace
