// How the tools write and read each instruction of the machine's table: how
// many operands it takes, which of them are addresses, where control goes
// after it. Everything is drawn from the table and the length rule.
#pragma once

#include "machine/instruction_set.hpp"

#include <array>
#include <vector>

namespace tarn {

// How many operands the source writes for an opcode: none for one-byte
// instructions, A for two-byte ones, A then B for three-byte ones. Four-byte
// opcodes load nothing, so they take no operands either (their three other
// bytes are written as 0).
unsigned operandCount(Byte opcode);

// Whether operand 0 (A) or 1 (B) names a memory address: true for all of
// them except the value of VALOFFST (it sets X) and the immediate of VAL.
bool operandIsAddress(const Instruction& instruction, unsigned index);

// Where the machine goes after an instruction.
enum class Flow {
    Stops,         // RST: the run loop ends on opcode 0
    FallsThrough,  // to the next instruction
    Jumps,         // JMP: always to A
    Branches,      // JPx: to A or to the next instruction
};

Flow flowOf(const Instruction& instruction);

// What each byte of an image turned out to be, following the control flow.
enum class ByteRole : Byte { Data, Start, Operand };

// Follows the control flow from address 0 and marks the instructions it
// meets (only the first 256 bytes of the image are looked at). A path ends on
// opcode 0, on a JMP (after queueing its target), at an address beyond the
// image, and at an instruction that would run past the end of the image or
// over one already found: that one stays data.
std::array<ByteRole, 256> findCode(const std::vector<Byte>& image);

}  // namespace tarn
