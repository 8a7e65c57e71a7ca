#include "machine/instruction_set.hpp"

#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/io_unit.hpp"
#include "machine/trace_display.hpp"

namespace tarn {

namespace {

// Stores the opcode in IR, loads the operands its length calls for and
// advances PC.
template <MachineForm Machine>
[[gnu::always_inline]] inline void decode(Machine& machine, Byte opcode) {
    const std::size_t pc = machine.PC;
    const unsigned length = instructionLength(opcode);
    machine.IR = opcode;
    if (pc + length <= 256) [[likely]] {
        if (length == 2 || length == 3) machine.A = machine.M[pc + 1];
        if (length == 3) machine.B = machine.M[pc + 2];
    } else {
        // Operand addresses are not reduced modulo 256: past address 255
        // they read the registers, starting with PC itself and then IR.
        const auto address = static_cast<unsigned>(pc);
        if (length == 2 || length == 3) machine.A = readByte(machine, address + 1);
        if (length == 3) machine.B = readByte(machine, address + 2);
    }
    machine.PC = static_cast<Byte>(pc + length);
}

// From this address on, an instruction's operands may lie past the end of
// memory, in the registers, and its successor's address may wrap round to 0.
constexpr unsigned NEAR_THE_END = 253;

// Hands the instruction in IR to its unit, on the record or on the run loop's
// processor. INP and WRT work on the record, and the console may take its
// time: the processor's registers go back into the record for them, and are
// taken afresh after, since a word that INP stores may reach them.
template <MachineForm Machine>
[[gnu::always_inline]] inline void execute(Machine& machine, MachineState& state, Console& console, Unit unit) {
    switch (unit) {
        case Unit::Control: controlUnit(machine); break;
        case Unit::Arithmetic: arithmeticUnit(machine); break;
        case Unit::InputOutput:
            if constexpr (std::same_as<Machine, Processor>) storeRegisters(machine, state);
            ioUnit(state, console);
            if constexpr (std::same_as<Machine, Processor>) loadRegisters(machine, state);
            break;
        case Unit::None: break;
    }
}

// The fetch and execution of one instruction whose opcode is a compile-time
// constant, on the run loop's processor: with the length, the unit and the
// contents of IR known, the compiler keeps only what this one instruction
// does.
template <Byte opcode>
[[gnu::always_inline]] inline void cycle(Processor& processor, MachineState& state, Console& console) {
    // The run loop brings instructions near the end of memory to stepMachine.
    if (processor.PC >= NEAR_THE_END) __builtin_unreachable();
    decode(processor, opcode);
    // The same execution either way; the first lets the compiler drop the
    // checks for an effective address past the end of memory, which only the
    // second can meet.
    if constexpr ((memoryUseByOpcode[opcode] & (READS_EFFECTIVE | WRITES_EFFECTIVE)) != 0) {
        if (effectiveAddress(processor) < 256) [[likely]]
            execute(processor, state, console, unitByOpcode[opcode]);
        else
            execute(processor, state, console, unitByOpcode[opcode]);
    } else {
        execute(processor, state, console, unitByOpcode[opcode]);
    }
}

// Every opcode, 0x00 to 0xFF, as its two hexadecimal digits: X(high, low).
#define TARN_LOW_DIGITS(X, h) \
    X(h, 0) X(h, 1) X(h, 2) X(h, 3) X(h, 4) X(h, 5) X(h, 6) X(h, 7) \
    X(h, 8) X(h, 9) X(h, A) X(h, B) X(h, C) X(h, D) X(h, E) X(h, F)
#define TARN_EVERY_OPCODE(X) \
    TARN_LOW_DIGITS(X, 0) TARN_LOW_DIGITS(X, 1) TARN_LOW_DIGITS(X, 2) TARN_LOW_DIGITS(X, 3) \
    TARN_LOW_DIGITS(X, 4) TARN_LOW_DIGITS(X, 5) TARN_LOW_DIGITS(X, 6) TARN_LOW_DIGITS(X, 7) \
    TARN_LOW_DIGITS(X, 8) TARN_LOW_DIGITS(X, 9) TARN_LOW_DIGITS(X, A) TARN_LOW_DIGITS(X, B) \
    TARN_LOW_DIGITS(X, C) TARN_LOW_DIGITS(X, D) TARN_LOW_DIGITS(X, E) TARN_LOW_DIGITS(X, F)

// The run loop, with or without a limit on the instructions it executes.
//
// While D is set, every instruction goes through stepMachine, which shows the
// trace display before executing it. While D is clear, the processor is taken
// out of the record into host registers, and each opcode has a cycle of its
// own, compiled for that opcode alone. Each cycle ends by going straight to
// the next one, through a table of where each cycle begins (labels as values,
// a GNU extension that both GCC and Clang have); an instruction near the end
// of memory, whose operands may be registers, goes to stepMachine instead,
// which spares every other cycle the check. D is looked at again only after
// the instructions that the table says may set it. Memory stays in the record throughout, so
// code that rewrites itself runs exactly as written. The registers go back
// into the record whenever the loop leaves.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
//
// With stopAtTrace, the loop leaves instead, before fetching, as soon as D is
// set, for its caller to trace the instruction as it likes.
template <bool bounded, bool stopAtTrace = false>
std::uint64_t run(MachineState& state, Console& console, std::uint64_t limit) {
#define TARN_CYCLE_ADDRESS(h, l) &&cycle_##h##l,
#define TARN_NEAR_THE_END(h, l) &&nearTheEnd,
#define TARN_TABLE_AT(h, l) 0x##h##l < NEAR_THE_END ? cycleOf : stepOf,
    // The cycle of each opcode, and where each address finds its cycles.
    static const void* const cycleOf[256] = {TARN_EVERY_OPCODE(TARN_CYCLE_ADDRESS)};
    static const void* const stepOf[256] = {TARN_EVERY_OPCODE(TARN_NEAR_THE_END)};
    static const void* const* const cyclesAt[256] = {TARN_EVERY_OPCODE(TARN_TABLE_AT)};
#undef TARN_TABLE_AT
#undef TARN_NEAR_THE_END
#undef TARN_CYCLE_ADDRESS

    std::uint64_t executed = 0;
    Processor processor = processorOf(state);
tracing:
    if constexpr (stopAtTrace) {
        if (state.F & FLAG_D) return executed;
    }
    while (state.F & FLAG_D) {
        if (bounded && executed == limit) return executed;
        if (!stepMachine(state, console)) return executed;
        ++executed;
    }
    loadRegisters(processor, state);

#define TARN_NEXT_CYCLE                                                     \
    do {                                                                    \
        if (bounded && executed == limit) goto limitReached;                \
        goto* cyclesAt[processor.PC][processor.M[processor.PC]];            \
    } while (false)

    TARN_NEXT_CYCLE;

// The cycle of one opcode; opcode 0 stops the machine.
#define TARN_CYCLE(h, l)                                                \
    cycle_##h##l : {                                                    \
        constexpr Byte opcode = 0x##h##l;                               \
        if constexpr (opcode == Op::Rst) {                              \
            storeRegisters(processor, state);                           \
            return executed;                                            \
        } else {                                                        \
            cycle<opcode>(processor, state, console);                   \
            if constexpr (bounded) ++executed;                          \
            if constexpr (maySetDebugByOpcode[opcode]) {                \
                if (processor.F & FLAG_D) {                             \
                    storeRegisters(processor, state);                   \
                    goto tracing;                                       \
                }                                                       \
            }                                                           \
            TARN_NEXT_CYCLE;                                            \
        }                                                               \
    }
    TARN_EVERY_OPCODE(TARN_CYCLE)
#undef TARN_CYCLE
#undef TARN_NEXT_CYCLE

nearTheEnd:
    storeRegisters(processor, state);
    if (!stepMachine(state, console)) return executed;
    if constexpr (bounded) ++executed;
    goto tracing;

limitReached:
    storeRegisters(processor, state);
    return executed;
}
#pragma GCC diagnostic pop

#undef TARN_EVERY_OPCODE
#undef TARN_LOW_DIGITS

}  // namespace

void fetchInstruction(MachineState& state) {
    decode(state, state.M[state.PC]);
}

void executeInstruction(MachineState& state, Console& console) {
    execute(state, state, console, unitByOpcode[state.IR]);
}

bool stepMachine(MachineState& state, Console& console) {
    if (state.M[state.PC] == Op::Rst) return false;
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

std::uint64_t runMachineUntilTrace(MachineState& state, Console& console, std::uint64_t limit) {
    return run<true, true>(state, console, limit);
}

}  // namespace tarn
