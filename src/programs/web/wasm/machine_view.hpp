// A machine as the page's "Registri" and "Memoria" show it, for the run of
// "Esegui" and for the debugger alike.
#pragma once

#include "debugger/program.hpp"
#include "machine/machine_state.hpp"
#include "programs/web/wasm/reply.hpp"

namespace tarn::web {

// { registers, registersText, flags, memory, characters }: the registers
// with their texts ("0x1F (31)"), the flags by letter (0 or 1), the 256
// bytes of memory and their rows' characters.
json machineJson(const MachineState& machine);

// { labels, roles }: what the program made of each of the 256 bytes, for
// "Memoria". labels[a] names the label whose bytes a is among, as the
// debugger finds it (the nearest at or before a), with the distance from it
// ("parola", "parola+2"), or is null before the first; roles[a] is
// "istruzione" (an opcode), "operando" (another byte of an instruction),
// "dato" (defined by DB) or null (given no value).
json programCellsJson(const debugger::Program& program);

}  // namespace tarn::web
