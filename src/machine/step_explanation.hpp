// The explanation of a step: how the instruction at PC goes through fetch,
// decode and execution, with the machine's own values. Plain data, in the
// order the machine reads and writes; debugger/step_explanation_text puts
// it into Italian.
#pragma once

#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// The three phases of an instruction.
enum class StepPhase : Byte { Fetch, Decode, Execute };

// Where a byte lives. Addresses are the machine's: 0..255 memory, 256..260
// the registers PC, IR, A, B, X, anything above outside the machine (where
// a read gives 0 and a write is lost). The flags register F has no address.
struct ByteLocation {
    enum class Kind : Byte { Memory, Register, Outside, Flags };
    Kind kind = Kind::Memory;
    unsigned address = 0;  // 0 for the flags
};

// The location of an address: memory, a register or outside the machine.
ByteLocation locationOf(unsigned address);

// F, the flags.
inline constexpr ByteLocation FLAGS_LOCATION{ByteLocation::Kind::Flags, 0};

// "PC", "IR", "A", "B", "X" for the addresses 256..260; "F" for the flags;
// empty for any other location.
std::string_view registerName(const ByteLocation& location);

// One byte read or written by a phase.
struct ByteAccess {
    bool write = false;
    ByteLocation location;
    Byte before = 0;  // what the location held: for a read, the byte read
    Byte value = 0;   // for a write, the byte written (lost outside the machine); for a read, before
};

// An operand byte as the fetch takes it: from pc + 1 or pc + 2, not
// reduced modulo 256, so that past 255 it comes from a register.
struct FetchedOperand {
    unsigned address = 0;
    Byte value = 0;
};

struct FetchPhase {
    Byte pc = 0;          // where PC points
    Byte opcode = 0;      // the byte there, which goes into IR
    Byte lengthBits = 0;  // the opcode's top two bits, 0..3
    unsigned length = 1;  // lengthBits + 1
    Byte nextPc = 0;      // PC after the fetch: pc + length, modulo 256
    bool wraps = false;   // pc + length passes 255, and PC starts again from 0
    bool halts = false;   // the opcode is 0: the machine stops, nothing is fetched
    std::vector<FetchedOperand> operands;  // into A, then B: none for lengths 1 and 4
    // The opcode read and written into IR, each operand read and written
    // into A, then B, and PC written. Only the opcode is read when it halts.
    std::vector<ByteAccess> accesses;
};

struct DecodePhase {
    bool assigned = false;      // the table lists the opcode
    std::string_view mnemonic;  // NOP for an opcode the table does not list, as the trace display names it
    unsigned length = 1;
    Unit unit = Unit::None;     // None for RST and for the opcodes the table does not list
    std::string_view meaning;   // the table's line; empty when the opcode is not listed
    std::vector<ByteAccess> accesses;  // IR read, for its opcode; nothing when the machine halts
};

// What the execution does, by kind of instruction.
enum class StepAction : Byte {
    Halt,        // opcode 0 (RST): the machine stops before fetching it
    Nothing,     // NOP, and every opcode the table does not list
    SetFlag,     // STD, STZ, STO, STP, STN
    ClearFlag,   // CLD, CLZ, CLO, CLP, CLN
    Jump,        // JMP, JPD, JPO, JPZ, JPP, JPN
    SetOffset,   // VALOFFST, INCOFFST, DECOFFST
    Arithmetic,  // INC, DEC, ADD, SUB, MUL
    Divide,      // DIV
    Compare,     // CMP
    Exchange,    // CPY
    Store,       // VAL
    Input,       // INP
    Output,      // WRT
};

// The effective address as the instruction first forms it: A + X, a plain
// sum (0..510). CPY and DIV read B again after their first write, which
// may have changed it (see ExecutePhase::secondB).
struct EffectiveAddress {
    Byte a = 0;
    Byte x = 0;
    unsigned address = 0;
};

// The numbers of INC, DEC, ADD, SUB, MUL, DIV and CMP.
struct Calculation {
    int left = 0;         // the byte at A + X: signed (-128..127), unsigned (0..255) for CMP
    int right = 0;        // the byte at B, read the same way; 1 for INC and DEC
    int exact = 0;        // the result in full precision: sum, difference, product, quotient; for CMP left - right
    bool overflow = false;  // beyond the instruction's limit: O is set and 0 is stored
    int result = 0;       // the signed byte written at A + X (the quotient for DIV)
    int remainder = 0;    // DIV: written at B
    bool byZero = false;  // DIV by 0: nothing changes
};

// A jump: whether the flag it tests is set (see ExecutePhase::flag), and
// where PC goes.
struct JumpDecision {
    bool flagSet = false;
    bool taken = false;
    Byte target = 0;  // A
};

// The word INP takes from the input.
struct TakenWord {
    bool found = false;       // false at the end of input: nothing is stored
    std::string text;         // its characters, at most the first 261: no more can land
    std::size_t length = 0;   // its length in bytes
    std::size_t taken = 0;    // the bytes of input taken: the blanks before it and the word
    std::size_t copied = 0;   // the characters copied: all, up to a byte 0 in the word, or the first 261
    bool cutByZero = false;   // a byte 0 in the word ended the copy
};

struct ExecutePhase {
    StepAction action = StepAction::Nothing;
    Byte a = 0, b = 0, x = 0;  // the registers as the execution finds them, after the fetch
    std::optional<EffectiveAddress> effective;  // for the instructions that use A + X
    Calculation calculation;                    // Arithmetic, Divide, Compare
    JumpDecision jump;                          // Jump
    TakenWord word;                             // Input
    std::string output;                         // Output: what WRT prints
    Byte flag = 0;  // the flag STx sets, CLx clears or JPx tests: FLAG_D, FLAG_Z, ...; 0 for any other
    Byte flagsBefore = 0;
    Byte flagsAfter = 0;
    Byte flagsRaised = 0;   // the bits it sets; those already set in flagsBefore stay set
    Byte flagsCleared = 0;  // CLx: the bits its mask takes away (those that were set)
    // CPY and DIV write twice, the second time at B read afresh: the B of
    // the second write, which the first changes when A + X is 259.
    Byte secondB = 0;
    // The bytes read and written, in the order the machine does it.
    std::vector<ByteAccess> accesses;
};

struct StepExplanation {
    FetchPhase fetch;
    DecodePhase decode;
    ExecutePhase execute;
};

// Explains the step the machine makes from `state`: the instruction at PC.
// `input` is the input not yet read (the console's pending input): INP
// takes its word from it as if nothing more were to come.
StepExplanation explainStep(const MachineState& state, std::string_view input = {});

}  // namespace tarn
