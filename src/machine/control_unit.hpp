#pragma once

#include "machine/machine_state.hpp"

namespace tarn {

// Flags, jumps, the offset register, CPY and VAL: the instruction in IR.
void controlUnit(MachineState& state);

}  // namespace tarn
