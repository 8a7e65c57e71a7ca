#include "machine/io_unit.hpp"

namespace tarn {

void ioUnit(MachineState& /*state*/) {}

}  // namespace tarn
