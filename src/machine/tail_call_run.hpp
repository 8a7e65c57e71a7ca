// The run loop of a WebAssembly host with tail calls (clang's -mtail-call),
// included by instruction_set.cpp after the cycles it runs.
//
// Without tail calls, WebAssembly has no jump to a computed address: the run
// loop's cycles, which natively go straight to one another, all go back
// through one shared table of branches. Here each opcode's cycle is a
// function of its own, and each ends by calling the next one's as its last
// act, a tail call that the engine compiles as a jump: there is no one point
// that every instruction passes through. The processor's registers travel as
// the calls' arguments, which the engine keeps in host registers. The cycles
// are the same cycle<opcode> as the native loop's.
//
// A cycle returns, with the registers back in the record, where the native
// loop leaves its cycles: on opcode 0, once D is set, at the limit, and
// before an instruction near the end of memory. The loop below then does
// what the native one does there. Without a limit, the limit is one that no
// run reaches, so that one set of cycles serves every run.

// Each cycle takes the record, the console, PC, the other registers packed
// in one word and the instructions it may still execute, and returns how
// many are left. Five arguments are what the engines pass in host
// registers; more go through the stack, at every instruction.
using TailCycle = std::uint64_t (*)(MachineState& state, Console& console, std::size_t PC, std::uint32_t registers,
                                    std::uint64_t left);

// F, A, B and X in one word, a byte each.
[[gnu::always_inline]] inline std::uint32_t packRegisters(std::size_t F, std::size_t A, std::size_t B, std::size_t X) {
    return static_cast<std::uint32_t>(static_cast<Byte>(F) | static_cast<Byte>(A) << 8 | static_cast<Byte>(B) << 16 |
                                      static_cast<std::uint32_t>(static_cast<Byte>(X)) << 24);
}

struct TailCycles {
    static const TailCycle byOpcode[256];
};

template <Byte opcode>
std::uint64_t tailCycle(MachineState& state, Console& console, std::size_t PC, std::uint32_t registers,
                        std::uint64_t left) {
    Processor processor{state.M, state.IR, registers & 0xFFu, PC, registers >> 8 & 0xFFu, registers >> 16 & 0xFFu,
                        registers >> 24};
    if constexpr (opcode == Op::Rst) {
        storeRegisters(processor, state);
        return left;
    } else {
        cycle<opcode>(processor, state, console);
        --left;
        const bool leave = (maySetDebugByOpcode[opcode] && (processor.F & FLAG_D) != 0) || left == 0 ||
                           processor.PC >= NEAR_THE_END;
        if (leave) [[unlikely]] {
            storeRegisters(processor, state);
            return left;
        }
        [[clang::musttail]] return TailCycles::byOpcode[state.M[processor.PC]](
            state, console, processor.PC, packRegisters(processor.F, processor.A, processor.B, processor.X), left);
    }
}

#define TARN_TAIL_CYCLE(h, l) &tailCycle<0x##h##l>,
const TailCycle TailCycles::byOpcode[256] = {TARN_EVERY_OPCODE(TARN_TAIL_CYCLE)};
#undef TARN_TAIL_CYCLE

// The run loop, with or without a limit, and with stopAtTrace leaving as
// soon as D is set, as the native one.
template <bool bounded, bool stopAtTrace = false>
std::uint64_t runByTailCalls(MachineState& state, Console& console, std::uint64_t limit) {
    if constexpr (!bounded) limit = UINT64_MAX;
    std::uint64_t left = limit;
    for (;;) {
        if constexpr (stopAtTrace) {
            if (state.F & FLAG_D) break;
        }
        while (state.F & FLAG_D) {
            if (left == 0 || !stepMachine(state, console)) return limit - left;
            --left;
        }
        if (left == 0) break;
        if (state.PC >= NEAR_THE_END) {
            if (!stepMachine(state, console)) break;
            --left;
            continue;
        }
        const Byte opcode = state.M[state.PC];
        if (opcode == Op::Rst) break;
        left = TailCycles::byOpcode[opcode](state, console, state.PC, packRegisters(state.F, state.A, state.B, state.X),
                                            left);
    }
    return limit - left;
}
