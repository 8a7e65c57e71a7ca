#include "machine/instruction_set.hpp"

#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/io_unit.hpp"
#include "machine/trace_display.hpp"

namespace tarn {

namespace {

// Loads the operands that an instruction of the given length at pc has.
[[gnu::always_inline]] inline void loadOperands(MachineState& state, unsigned pc, unsigned length) {
    // Operand addresses are not reduced modulo 256: past address 255 they
    // read the registers, starting with PC itself and then IR.
    if (length == 2 || length == 3) state.A = readByte(state, pc + 1u);
    if (length == 3) state.B = readByte(state, pc + 2u);
}

// Stores the opcode in IR, loads the operands its length calls for and
// advances PC; pc is where PC stands.
[[gnu::always_inline]] inline void decode(MachineState& state, Byte opcode, unsigned pc) {
    const unsigned next = pc + instructionLength(opcode);
    state.IR = opcode;
    // The same load either way; the first lets the compiler drop the checks
    // for operands past the end of memory, which only the second can meet.
    if (next <= 256) [[likely]]
        loadOperands(state, pc, instructionLength(opcode));
    else
        loadOperands(state, pc, instructionLength(opcode));
    state.PC = static_cast<Byte>(next);
}

// Hands the instruction in IR to its unit.
[[gnu::always_inline]] inline void execute(MachineState& state, Console& console, Unit unit) {
    switch (unit) {
        case Unit::Control: controlUnit(state); break;
        case Unit::Arithmetic: arithmeticUnit(state); break;
        case Unit::InputOutput: ioUnit(state, console); break;
        case Unit::None: break;
    }
}

// The fetch and execution of one instruction whose opcode is a compile-time
// constant: with the length, the unit and the contents of IR known, the
// compiler keeps only what this one instruction does.
template <Byte opcode>
[[gnu::always_inline]] inline void cycle(MachineState& state, Console& console, unsigned pc) {
    decode(state, opcode, pc);
    execute(state, console, unitByOpcode[opcode]);
}

// D is set only by STD, and by CPY and VAL when B is 0: only after one of
// these can tracing begin.
constexpr bool maySetDebug(Byte opcode) {
    return opcode == findInstruction("STD")->opcode || opcode == findInstruction("CPY")->opcode ||
           opcode == findInstruction("VAL")->opcode;
}

// The run loop, with or without a limit on the instructions it executes.
//
// While D is set, every instruction goes through stepMachine, which shows the
// trace display before executing it. While D is clear, a switch with one case
// per opcode runs each instruction's own cycle, and looks at D again only
// after the instructions that can set it. Each case takes PC afresh from the
// state once its instruction is done; for most instructions the compiler then
// knows it without reading memory.
template <bool bounded>
std::uint64_t run(MachineState& state, Console& console, std::uint64_t limit) {
    std::uint64_t executed = 0;
    for (;;) {
        while (state.F & FLAG_D) {
            if (bounded && executed == limit) return executed;
            if (!stepMachine(state, console)) return executed;
            ++executed;
        }
        for (unsigned pc = state.PC;;) {
            if (bounded && executed == limit) return executed;
            switch (state.M[pc]) {
// One case per opcode, 0 to 255; opcode 0 stops the machine.
#define TARN_CYCLE(op)                                                             \
    case op:                                                                       \
        if constexpr ((op) == 0) {                                                 \
            return executed;                                                       \
        } else {                                                                   \
            cycle<static_cast<Byte>(op)>(state, console, pc);                      \
            pc = state.PC;                                                         \
            if constexpr (bounded) ++executed;                                     \
            if constexpr (maySetDebug(static_cast<Byte>(op)))                      \
                if (state.F & FLAG_D) goto tracing;                                \
        }                                                                          \
        break;
#define TARN_CYCLES_4(op) TARN_CYCLE(op) TARN_CYCLE(op + 1) TARN_CYCLE(op + 2) TARN_CYCLE(op + 3)
#define TARN_CYCLES_16(op) TARN_CYCLES_4(op) TARN_CYCLES_4(op + 4) TARN_CYCLES_4(op + 8) TARN_CYCLES_4(op + 12)
#define TARN_CYCLES_64(op) TARN_CYCLES_16(op) TARN_CYCLES_16(op + 16) TARN_CYCLES_16(op + 32) TARN_CYCLES_16(op + 48)
                TARN_CYCLES_64(0)
                TARN_CYCLES_64(64)
                TARN_CYCLES_64(128)
                TARN_CYCLES_64(192)
#undef TARN_CYCLES_64
#undef TARN_CYCLES_16
#undef TARN_CYCLES_4
#undef TARN_CYCLE
            }
        }
    tracing:;
    }
}

}  // namespace

void fetchInstruction(MachineState& state) {
    decode(state, state.M[state.PC], state.PC);
}

void executeInstruction(MachineState& state, Console& console) {
    execute(state, console, unitByOpcode[state.IR]);
}

bool stepMachine(MachineState& state, Console& console) {
    if (state.M[state.PC] == 0) return false;
    fetchInstruction(state);
    if (state.F & FLAG_D) showState(state, console);
    executeInstruction(state, console);
    return true;
}

void runMachine(MachineState& state, Console& console) {
    run<false>(state, console, 0);
}

std::uint64_t runMachineFor(MachineState& state, Console& console, std::uint64_t limit) {
    return run<true>(state, console, limit);
}

}  // namespace tarn
