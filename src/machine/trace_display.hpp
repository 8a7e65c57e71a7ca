#pragma once

#include "machine/console.hpp"
#include "machine/machine_state.hpp"

#include <string>
#include <string_view>

namespace tarn {

// Shows every register and the instruction about to run on the console,
// then waits there for a key.
void showState(const MachineState& state, Console& console);

// The text showState shows.
std::string traceDisplay(const MachineState& state);

// Prints the mnemonic of an opcode on the console; opcodes the table does not
// list print NOP.
void mnemonicOf(Byte opcode, Console& console);

// The text mnemonicOf prints.
std::string_view mnemonicText(Byte opcode);

}  // namespace tarn
