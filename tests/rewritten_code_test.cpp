// Code that a program rewrites: whether the bytes that ran are those its
// source placed, and how the instruction that ran reads.
#include "assembly/rewritten_code.hpp"

#include "assembly/assembler.hpp"
#include "machine/instruction_set.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn {
namespace {

// p: ADD x, y at 0, then RST, x and y.
const char* const SOURCE = "p: ADD x, y\nRST\nx: DB 2\ny: DB 3\n";

TEST(RewrittenCode, OnlyTheBytesAnInstructionLoadsCount) {
    const Assembly assembly = assemble(SOURCE);
    ASSERT_FALSE(assembly.failed());
    const std::vector<Byte>& image = assembly.image;  // 81 04 05 00 02 03
    const Byte add = opcodeOf(Op::Add), mul = opcodeOf(Op::Mul), inc = opcodeOf(Op::Inc), nop = opcodeOf(Op::Nop);
    const struct {
        const char* what;
        RanInstruction ran;
        bool rewritten;
    } rows[] = {
        {"as placed", {0, {add, 4, 5}}, false},
        {"another opcode", {0, {mul, 4, 5}}, true},
        {"another first operand", {0, {add, 5, 5}}, true},
        {"another second operand", {0, {add, 4, 4}}, true},
        // INC loads one operand: the byte after it is not its own.
        {"a shorter instruction over the same bytes", {0, {inc, 4, 0}}, true},
        {"a one-byte instruction", {3, {nop, 0, 0}}, true},
        {"past the image, where memory holds 0", {200, {0, 0, 0}}, false},
        {"written past the image", {200, {nop, 0, 0}}, true},
    };
    for (const auto& row : rows) EXPECT_EQ(rewrittenByProgram(row.ran, image), row.rewritten) << row.what;
    // An operand past the end of memory comes from the registers: no source placed it.
    std::vector<Byte> full(256, 0);
    full[255] = opcodeOf(Op::Jmp);
    EXPECT_FALSE(rewrittenByProgram({255, {opcodeOf(Op::Jmp), 7, 0}}, full));
}

TEST(RewrittenCode, TheInstructionThatRanReadsAsASourceWritesIt) {
    const Assembly assembly = assemble("p: ADD x, y\nq: RST\nx: DB 2\ny: DB 3\nz: DB 4\n");
    ASSERT_FALSE(assembly.failed());
    const std::vector<LabelEntry>& labels = assembly.labels;
    const struct {
        RanInstruction ran;
        const char* text;
    } rows[] = {
        {{0, {opcodeOf(Op::Mul), 4, 5}}, "MUL x, y"},
        {{0, {opcodeOf(Op::Jmp), 0, 0}}, "JMP p"},
        {{0, {opcodeOf(Op::Jmp), 0x40, 0}}, "JMP 0x40"},   // no label there
        {{0, {opcodeOf(Op::Val), 4, 131}}, "VAL x, 131"},  // an immediate in decimal
        {{0, {opcodeOf(Op::ValOffst), 4, 0}}, "VALOFFST 4"},
        {{0, {opcodeOf(Op::Clz), 0, 0}}, "CLZ"},
        {{0, {0x3F, 0, 0}}, "NOP"},  // an opcode the table does not list does nothing
        {{0, {0xC5, 0, 0}}, "NOP"},  // nor do the four-byte ones
    };
    for (const auto& row : rows) EXPECT_EQ(ranInstructionText(row.ran, labels), row.text);
    // The line keeps the labels it defines.
    EXPECT_EQ(rewrittenLineText({0, {opcodeOf(Op::Jmp), 0, 0}}, 1, labels), "p: JMP p (riscritta dal programma)");
    EXPECT_EQ(rewrittenLineText({3, {opcodeOf(Op::Nop), 0, 0}}, 2, labels), "q: NOP (riscritta dal programma)");
    EXPECT_EQ(rewrittenLineText({0x40, {opcodeOf(Op::Inc), 6, 0}}, 0, labels), "INC z (riscritta dal programma)");
}

TEST(RewrittenCode, AnInstructionIsReadAsTheFetchReadsIt) {
    MachineState state{};
    state.M[10] = opcodeOf(Op::Cpy);
    state.M[11] = 1;
    state.M[12] = 2;
    state.M[13] = 3;
    EXPECT_EQ(ranInstruction(state, 10), (RanInstruction{10, {opcodeOf(Op::Cpy), 1, 2}}));
    state.M[10] = opcodeOf(Op::Inc);
    EXPECT_EQ(ranInstruction(state, 10), (RanInstruction{10, {opcodeOf(Op::Inc), 1, 0}}));
    // Past address 255 the operands are the registers, PC first.
    state.M[255] = opcodeOf(Op::Cpy);
    state.PC = 255;
    state.IR = 9;
    EXPECT_EQ(ranInstruction(state, 255), (RanInstruction{255, {opcodeOf(Op::Cpy), 255, 9}}));
}

}  // namespace
}  // namespace tarn
