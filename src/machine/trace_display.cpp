#include "machine/trace_display.hpp"

namespace tarn {

void showState(const MachineState& /*state*/) {}

void mnemonicOf(Byte /*opcode*/) {}

}  // namespace tarn
