#include "machine/machine_state.hpp"

#include <cstring>

namespace tarn {

namespace {

// F, PC, A, B and X start at 0; IR is written by the first fetch, and memory
// keeps what it held where the image does not reach.
void resetRegisters(MachineState& state) {
    state.F = 0;
    state.PC = 0;
    state.X = 0;
    state.A = 0;
    state.B = 0;
}

}  // namespace

Byte readRegisterByte(const MachineState& state, std::size_t address) {
    return registerAt(state, address);
}

void writeRegisterByte(MachineState& state, std::size_t address, Byte value) {
    setRegisterAt(state, address, value);
}

bool loadImage(std::span<const Byte> image, MachineState& state) {
    resetRegisters(state);
    const bool whole = image.size() <= sizeof state.M;
    if (!image.empty()) std::memcpy(state.M, image.data(), whole ? image.size() : sizeof state.M);
    return whole;
}

}  // namespace tarn
