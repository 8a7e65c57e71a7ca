// How the debugger names things in Italian, for its messages and warnings:
// counts, instructions (as they stand now, or as they ran when the program
// rewrote them), the places of the program and its source lines.
#pragma once

#include "assembly/rewritten_code.hpp"
#include "debugger/program.hpp"
#include "machine/machine_state.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

// "1 istruzione", "N istruzioni".
std::string instructionCount(std::uint64_t count);

// "JMP p (riscritta dal programma)": an instruction that ran rewritten, its
// operands named by the program's labels.
std::string rewrittenInstructionText(const Program& program, const RanInstruction& ran);

// The mnemonic of an opcode; NOP for one the table does not list.
std::string_view mnemonicOf(Byte opcode);

// The program's labels as the assembler lists them, for naming the operands
// of an instruction that the program rewrote.
std::vector<LabelEntry> labelEntries(const Program& program);

// Whether the program rewrote an instruction before it ran: its bytes are
// not those the run started with (the image, and the bytes placed over it).
bool rewritten(const Program& program, const RanInstruction& ran);

// "ADD (riga 7, indirizzo 0x0A)": the instruction at an address, by the
// opcode it has there now. When its bytes are not those the run started
// with, the line tells nothing of it: "JMP p (riga 3, indirizzo 0x03, riscritta
// dal programma)".
std::string instructionAt(const Program& program, const MachineState& state, Byte address);

// "alla riga 3", or "all'indirizzo 0x40" where no line placed the byte.
std::string placeOf(const Program& program, Byte address);

// ", riga 12" for the line that defined the byte at address, or nothing.
std::string lineNote(const Program& program, unsigned address);

// A source line without its comment: from the first ';' outside quotes.
std::string_view withoutComment(std::string_view text);

// The text without the spaces at its ends.
std::string trimmed(std::string_view text);

}  // namespace tarn::debugger
