#pragma once

#include "machine/machine_state.hpp"

#include <string_view>

namespace tarn {

// Prints every register and the instruction about to run, then waits for a key.
void showState(const MachineState& state);

// Prints the mnemonic of an opcode; opcodes the table does not list print NOP.
void mnemonicOf(Byte opcode);

// The text mnemonicOf prints.
std::string_view mnemonicText(Byte opcode);

}  // namespace tarn
