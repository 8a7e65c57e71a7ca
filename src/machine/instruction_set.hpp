// The instruction set: one table of opcodes, mnemonics and executing units,
// the fetch step, the dispatcher and the run loop.
#pragma once

#include "machine/console.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarn {

enum class Unit : Byte { None, Control, Arithmetic, InputOutput };

// What an instruction does with memory besides fetching itself: the bits of
// Instruction::memory. The machine never looks at them; the tools that watch
// a run (the debugger's last writers and warnings) do.
inline constexpr Byte READS_EFFECTIVE = 0x01;    // the byte at A+X
inline constexpr Byte WRITES_EFFECTIVE = 0x02;   // the byte at A+X
inline constexpr Byte READS_AT_B = 0x04;         // the byte at B
inline constexpr Byte WRITES_AT_B = 0x08;        // the byte at B
inline constexpr Byte PRINTS_FROM_A = 0x10;      // from A up to the first 0
inline constexpr Byte STORES_WORD_AT_A = 0x20;   // the word read, from A on
inline constexpr Byte SKIPPED_IF_ZERO_AT_B = 0x40;  // with 0 at B, reads only that and writes nothing

struct Instruction {
    Byte opcode;
    std::string_view mnemonic;
    Unit unit;
    Byte memory = 0;  // the bits above
};

// Every assigned opcode. Any other opcode is a valid instruction that does
// nothing; the trace display calls it NOP.
inline constexpr std::array<Instruction, 32> instructionTable{{
    {0x00, "RST", Unit::None},  // never executed: the run loop stops on it
    {0x01, "STD", Unit::Control},
    {0x02, "STZ", Unit::Control},
    {0x03, "STO", Unit::Control},
    {0x04, "STP", Unit::Control},
    {0x05, "STN", Unit::Control},
    {0x06, "NOP", Unit::Control},
    {0x07, "CLD", Unit::Control},
    {0x08, "CLZ", Unit::Control},
    {0x09, "CLO", Unit::Control},
    {0x0A, "CLP", Unit::Control},
    {0x0B, "CLN", Unit::Control},
    {0x0C, "INCOFFST", Unit::Arithmetic},
    {0x0D, "DECOFFST", Unit::Arithmetic},
    {0x40, "JMP", Unit::Control},
    {0x41, "JPD", Unit::Control},
    {0x42, "JPO", Unit::Control},  // 66 tests O, 67 tests Z: the reverse of their bits
    {0x43, "JPZ", Unit::Control},
    {0x44, "JPP", Unit::Control},
    {0x45, "JPN", Unit::Control},
    {0x46, "INP", Unit::InputOutput, STORES_WORD_AT_A},
    {0x47, "WRT", Unit::InputOutput, PRINTS_FROM_A},
    {0x48, "INC", Unit::Arithmetic, READS_EFFECTIVE | WRITES_EFFECTIVE},
    {0x49, "DEC", Unit::Arithmetic, READS_EFFECTIVE | WRITES_EFFECTIVE},
    {0x4A, "VALOFFST", Unit::Control},
    {0x80, "CMP", Unit::Arithmetic, READS_EFFECTIVE | READS_AT_B},
    {0x81, "ADD", Unit::Arithmetic, READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {0x82, "SUB", Unit::Arithmetic, READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {0x83, "MUL", Unit::Arithmetic, READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {0x84, "DIV", Unit::Arithmetic,
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B | WRITES_AT_B | SKIPPED_IF_ZERO_AT_B},
    {0x85, "CPY", Unit::Control, READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B | WRITES_AT_B},
    {0x86, "VAL", Unit::Control, WRITES_EFFECTIVE},
}};

// The length of an instruction follows from the top two bits of its opcode:
// 1 byte, 2 (loads A), 3 (loads A and B) or 4 (the three bytes after are skipped).
constexpr unsigned instructionLength(Byte opcode) {
    return (unsigned{opcode} >> 6) + 1u;
}

// The table entry of an opcode, if the table lists it.
constexpr const Instruction* findInstruction(Byte opcode) {
    for (const Instruction& instruction : instructionTable)
        if (instruction.opcode == opcode) return &instruction;
    return nullptr;
}

// The table entry of a mnemonic (exact, capital letters), if there is one.
constexpr const Instruction* findInstruction(std::string_view mnemonic) {
    for (const Instruction& instruction : instructionTable)
        if (instruction.mnemonic == mnemonic) return &instruction;
    return nullptr;
}

namespace detail {
constexpr std::array<Byte, 256> buildMemoryUseByOpcode() {
    std::array<Byte, 256> uses{};
    for (const Instruction& instruction : instructionTable)
        uses[instruction.opcode] = instruction.memory;
    return uses;
}
constexpr std::array<Unit, 256> buildUnitByOpcode() {
    std::array<Unit, 256> units{};
    for (const Instruction& instruction : instructionTable)
        units[instruction.opcode] = instruction.unit;
    return units;
}
}  // namespace detail

// The executing unit of every opcode, drawn from the table.
inline constexpr std::array<Unit, 256> unitByOpcode = detail::buildUnitByOpcode();

// What every opcode does with memory (the bits of Instruction::memory),
// drawn from the table: 0 for the opcodes it does not list.
inline constexpr std::array<Byte, 256> memoryUseByOpcode = detail::buildMemoryUseByOpcode();

// Decodes the instruction at PC into IR, A and B and advances PC.
void fetchInstruction(MachineState& state);

// Runs the decoded instruction in IR on its unit; INP and WRT use the console.
void executeInstruction(MachineState& state, Console& console);

// One cycle of the run loop: returns false, doing nothing, when the opcode at
// PC is 0; otherwise fetches, shows the state when D is set, executes.
bool stepMachine(MachineState& state, Console& console);

// Runs from the current PC until the opcode at PC is 0.
void runMachine(MachineState& state, Console& console);

// Runs like runMachine, but for at most `limit` instructions; returns how many
// it executed.
std::uint64_t runMachineFor(MachineState& state, Console& console, std::uint64_t limit);

// Runs like runMachineFor, but stops before fetching whenever D is set, so
// that the caller traces the next instruction itself (fetchInstruction,
// traceDisplay, executeInstruction); returns how many it executed. Where it
// stopped tells why: opcode 0 at PC, D set, or the limit.
std::uint64_t runMachineUntilTrace(MachineState& state, Console& console, std::uint64_t limit);

}  // namespace tarn
