#pragma once

#include "machine/console.hpp"
#include "machine/machine_state.hpp"

namespace tarn {

// INP and WRT: the instruction in IR, on the run's console.
void ioUnit(MachineState& state, Console& console);

}  // namespace tarn
