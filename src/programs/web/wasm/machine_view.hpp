// A machine as the page's "Registri" and "Memoria" show it, for the run of
// "Esegui" and for the debugger alike.
#pragma once

#include "machine/machine_state.hpp"
#include "programs/web/wasm/reply.hpp"

namespace tarn::web {

// { registers, registersText, flags, memory, characters }: the registers
// with their texts ("0x1F (31)"), the flags by letter (0 or 1), the 256
// bytes of memory and their rows' characters.
json machineJson(const MachineState& machine);

}  // namespace tarn::web
