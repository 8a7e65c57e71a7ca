#include "machine/instruction_set.hpp"

#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/io_unit.hpp"
#include "machine/trace_display.hpp"

namespace tarn {

void fetchInstruction(MachineState& state) {
    const Byte opcode = state.M[state.PC];
    const unsigned length = instructionLength(opcode);
    state.IR = opcode;
    // Operand addresses are not reduced modulo 256: past address 255 they
    // read the registers, starting with PC itself and then IR.
    if (length == 2 || length == 3) state.A = readByte(state, state.PC + 1u);
    if (length == 3) state.B = readByte(state, state.PC + 2u);
    state.PC = static_cast<Byte>(state.PC + length);
}

void executeInstruction(MachineState& state) {
    switch (unitByOpcode[state.IR]) {
        case Unit::Control: controlUnit(state); break;
        case Unit::Arithmetic: arithmeticUnit(state); break;
        case Unit::InputOutput: ioUnit(state); break;
        case Unit::None: break;
    }
}

bool stepMachine(MachineState& state) {
    if (state.M[state.PC] == 0) return false;
    fetchInstruction(state);
    if (state.F & FLAG_D) showState(state);
    executeInstruction(state);
    return true;
}

void runMachine(MachineState& state) {
    while (stepMachine(state)) {
    }
}

}  // namespace tarn
