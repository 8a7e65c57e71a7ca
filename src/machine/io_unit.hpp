#pragma once

#include "machine/machine_state.hpp"

namespace tarn {

// INP and WRT: the instruction in IR.
void ioUnit(MachineState& state);

}  // namespace tarn
