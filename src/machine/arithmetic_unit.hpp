#pragma once

#include "machine/machine_state.hpp"

namespace tarn {

// INC, DEC, ADD, SUB, MUL, DIV, CMP, INCOFFST and DECOFFST: the instruction in IR.
void arithmeticUnit(MachineState& state);

}  // namespace tarn
