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

// Every assigned opcode, by its mnemonic. The machine and the tools name an
// opcode through these, never by its number.
enum class Op : Byte {
    Rst = 0x00, Std = 0x01, Stz = 0x02, Sto = 0x03, Stp = 0x04, Stn = 0x05, Nop = 0x06,
    Cld = 0x07, Clz = 0x08, Clo = 0x09, Clp = 0x0A, Cln = 0x0B, IncOffst = 0x0C, DecOffst = 0x0D,
    Jmp = 0x40, Jpd = 0x41, Jpo = 0x42, Jpz = 0x43, Jpp = 0x44, Jpn = 0x45,
    Inp = 0x46, Wrt = 0x47, Inc = 0x48, Dec = 0x49, ValOffst = 0x4A,
    Cmp = 0x80, Add = 0x81, Sub = 0x82, Mul = 0x83, Div = 0x84, Cpy = 0x85, Val = 0x86,
};

constexpr Byte opcodeOf(Op op) {
    return static_cast<Byte>(op);
}

// An opcode byte (in memory, in IR) is compared with an Op as it stands.
constexpr bool operator==(Byte opcode, Op op) {
    return opcode == opcodeOf(op);
}

// "May set D", a column of the table.
inline constexpr bool MAY_SET_D = true;

struct Instruction {
    constexpr Instruction(Op op, std::string_view mnemonic, Unit unit, std::string_view meaning, Byte memory = 0,
                          bool maySetDebug = false)
        : opcode(opcodeOf(op)), mnemonic(mnemonic), unit(unit), meaning(meaning), memory(memory),
          maySetDebug(maySetDebug) {}

    Byte opcode;
    std::string_view mnemonic;
    Unit unit;
    // What it does, in one line of Italian: the instruction reference of
    // the page and of tarndbg.
    std::string_view meaning;
    Byte memory;       // the bits above
    // D is set only by the instructions that may set it: the run loop
    // looks at D again after these alone.
    bool maySetDebug;
};

// Every assigned opcode. Any other opcode is a valid instruction that does
// nothing; the trace display calls it NOP.
inline constexpr std::array<Instruction, 32> instructionTable{{
    // Never executed: the run loop stops on it.
    {Op::Rst, "RST", Unit::None, "ferma la macchina: non viene mai eseguita"},
    {Op::Std, "STD", Unit::Control, "accende il flag D: da qui tarnsim mostra la traccia a ogni istruzione", 0,
     MAY_SET_D},
    {Op::Stz, "STZ", Unit::Control, "accende il flag Z"},
    {Op::Sto, "STO", Unit::Control, "accende il flag O"},
    {Op::Stp, "STP", Unit::Control, "accende il flag P"},
    {Op::Stn, "STN", Unit::Control, "accende il flag N"},
    {Op::Nop, "NOP", Unit::Control, "non fa nulla"},
    {Op::Cld, "CLD", Unit::Control, "spegne il flag D"},
    {Op::Clz, "CLZ", Unit::Control, "spegne il flag Z"},
    {Op::Clo, "CLO", Unit::Control, "spegne il flag O"},
    {Op::Clp, "CLP", Unit::Control, "spegne il flag P"},
    {Op::Cln, "CLN", Unit::Control, "spegne il flag N"},
    {Op::IncOffst, "INCOFFST", Unit::Arithmetic, "aggiunge 1 a X (dopo 255 torna a 0), senza toccare i flag"},
    {Op::DecOffst, "DECOFFST", Unit::Arithmetic, "toglie 1 a X (prima di 0 torna a 255), senza toccare i flag"},
    {Op::Jmp, "JMP", Unit::Control, "salta all'indirizzo A"},
    {Op::Jpd, "JPD", Unit::Control, "salta all'indirizzo A se il flag D è acceso"},
    // 66 tests O, 67 tests Z: the reverse of their bits.
    {Op::Jpo, "JPO", Unit::Control, "salta all'indirizzo A se il flag O è acceso"},
    {Op::Jpz, "JPZ", Unit::Control, "salta all'indirizzo A se il flag Z è acceso"},
    {Op::Jpp, "JPP", Unit::Control, "salta all'indirizzo A se il flag P è acceso"},
    {Op::Jpn, "JPN", Unit::Control, "salta all'indirizzo A se il flag N è acceso"},
    {Op::Inp, "INP", Unit::InputOutput,
     "legge una parola e ne scrive i caratteri dall'indirizzo A in poi, senza X e senza aggiungere uno 0",
     STORES_WORD_AT_A},
    {Op::Wrt, "WRT", Unit::InputOutput, "stampa i byte dall'indirizzo A fino al primo 0, senza X e senza andare a capo",
     PRINTS_FROM_A},
    {Op::Inc, "INC", Unit::Arithmetic,
     "aggiunge 1 al byte all'indirizzo A + X, con segno (da 127 accende O e scrive 0); accende Z, P o N",
     READS_EFFECTIVE | WRITES_EFFECTIVE},
    {Op::Dec, "DEC", Unit::Arithmetic,
     "toglie 1 al byte all'indirizzo A + X, con segno (da -128 accende O e scrive 0); accende Z, P o N",
     READS_EFFECTIVE | WRITES_EFFECTIVE},
    {Op::ValOffst, "VALOFFST", Unit::Control, "scrive in X il valore A"},
    {Op::Cmp, "CMP", Unit::Arithmetic,
     "confronta senza segno il byte all'indirizzo A + X con quello all'indirizzo B: se uguali accende Z, se "
     "maggiore P, se minore N",
     READS_EFFECTIVE | READS_AT_B},
    {Op::Add, "ADD", Unit::Arithmetic,
     "somma al byte all'indirizzo A + X quello all'indirizzo B, con segno (oltre 127 accende O e scrive 0); accende "
     "Z, P o N",
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {Op::Sub, "SUB", Unit::Arithmetic,
     "sottrae dal byte all'indirizzo A + X quello all'indirizzo B, con segno (sotto -128 accende O e scrive 0); "
     "accende Z, P o N",
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {Op::Mul, "MUL", Unit::Arithmetic,
     "moltiplica il byte all'indirizzo A + X per quello all'indirizzo B, con segno (oltre 127 accende O e scrive "
     "0); accende Z, P o N",
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B},
    {Op::Div, "DIV", Unit::Arithmetic,
     "divide con segno il byte all'indirizzo A + X per quello all'indirizzo B: il quoziente, troncato verso 0, va "
     "in A + X e accende Z, P o N, il resto va in B; se il divisore è 0 non fa nulla",
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B | WRITES_AT_B | SKIPPED_IF_ZERO_AT_B},
    {Op::Cpy, "CPY", Unit::Control,
     "scambia il byte all'indirizzo A + X con quello all'indirizzo B; poi accende D se B vale 0, altrimenti P",
     READS_EFFECTIVE | WRITES_EFFECTIVE | READS_AT_B | WRITES_AT_B, MAY_SET_D},
    {Op::Val, "VAL", Unit::Control,
     "scrive il valore B nel byte all'indirizzo A + X; poi accende D se B vale 0, altrimenti P", WRITES_EFFECTIVE,
     MAY_SET_D},
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

constexpr const Instruction* findInstruction(Op op) {
    return findInstruction(opcodeOf(op));
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
constexpr std::array<bool, 256> buildMaySetDebugByOpcode() {
    std::array<bool, 256> may{};
    for (const Instruction& instruction : instructionTable)
        may[instruction.opcode] = instruction.maySetDebug;
    return may;
}
}  // namespace detail

// The executing unit of every opcode, drawn from the table.
inline constexpr std::array<Unit, 256> unitByOpcode = detail::buildUnitByOpcode();

// What every opcode does with memory (the bits of Instruction::memory),
// drawn from the table: 0 for the opcodes it does not list.
inline constexpr std::array<Byte, 256> memoryUseByOpcode = detail::buildMemoryUseByOpcode();

// Whether each opcode may set D, drawn from the table: false for the opcodes
// it does not list, which do nothing.
inline constexpr std::array<bool, 256> maySetDebugByOpcode = detail::buildMaySetDebugByOpcode();

// The unit's name, as the instruction reference and the explanation of a
// step give it.
constexpr std::string_view unitName(Unit unit) {
    switch (unit) {
        case Unit::Control: return "controllo";
        case Unit::Arithmetic: return "aritmetica";
        case Unit::InputOutput: return "ingresso/uscita";
        case Unit::None: break;
    }
    return "nessuna";
}

// One row of the instruction reference, for the page's help and tarndbg's.
struct ReferenceRow {
    Byte opcode;
    std::string_view mnemonic;
    unsigned length;
    std::string_view unit;
    std::string_view meaning;
};

// The instruction reference: a row for each instruction of the table, in
// the table's order (by opcode).
constexpr std::array<ReferenceRow, instructionTable.size()> instructionReference() {
    std::array<ReferenceRow, instructionTable.size()> rows{};
    for (std::size_t index = 0; index < instructionTable.size(); ++index) {
        const Instruction& instruction = instructionTable[index];
        rows[index] = {instruction.opcode, instruction.mnemonic, instructionLength(instruction.opcode),
                       unitName(instruction.unit), instruction.meaning};
    }
    return rows;
}

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
