// Code that a program rewrites while it runs. A report or a debugger that
// names an instruction by the source line that placed it would mislead when
// the bytes that ran are no longer the ones that line assembled to: it then
// shows the instruction that ran, with REWRITTEN_NOTE. Every tool decides it
// and words it here.
#pragma once

#include "assembly/assembler.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// An instruction as it ran (or was about to run): where it stood, and its
// opcode and the operand bytes its length loads, read as the fetch reads
// them (past address 255, from the registers). Bytes it does not load are 0.
struct RanInstruction {
    Byte address = 0;
    std::array<Byte, 3> bytes{};

    friend bool operator==(const RanInstruction&, const RanInstruction&) = default;
};

// The instruction at an address of a machine, as the fetch would read it now.
RanInstruction ranInstruction(const MachineState& state, Byte address);

// Whether the bytes that ran differ from those the program placed at the
// same addresses (its image, loaded from address 0; 0 past its end): the
// opcode, or an operand the opcode loads that lies in memory.
bool rewrittenByProgram(const RanInstruction& ran, std::span<const Byte> image);

// What follows the instruction that ran, in parentheses.
inline constexpr std::string_view REWRITTEN_NOTE = "riscritta dal programma";

// The instruction that ran, as a source writes it: "JMP p", "VAL x, 131".
// An address is named by the first of the labels (in the order given) that
// stands for it, else written in hexadecimal; other operands in decimal.
// An opcode the table does not list does nothing, and reads NOP.
std::string ranInstructionText(const RanInstruction& ran, std::span<const LabelEntry> labels);

// What a line shows for an instruction that ran rewritten: the labels that
// the line defines, the instruction that ran and the note, as in
// "p: JMP p (riscritta dal programma)". `line` is the source line's number.
std::string rewrittenLineText(const RanInstruction& ran, std::int64_t line, std::span<const LabelEntry> labels);

}  // namespace tarn
