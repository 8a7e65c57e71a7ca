// The run loop of a WebAssembly host with tail calls (clang's -mtail-call),
// included by instruction_set.cpp after the cycles it runs.
//
// Without tail calls, WebAssembly has no jump to a computed address: the run
// loop's cycles, which natively go straight to one another, all go back
// through one shared switch. Here each cycle is a function of its own, which
// ends with a switch of its own on the next opcode, each of whose cases
// calls that opcode's cycle as its last act: a tail call, which the engine
// compiles as a jump. There is no one point that every instruction passes
// through, and each cycle's switch learns what follows that cycle. The calls
// are direct: an engine checks an indirect one's target and type at every
// call, which costs more than the switch. The processor's registers travel
// as the calls' arguments, which the engine keeps in host registers.
//
// The opcodes that the table lists have a cycle each, cycle<opcode> as in
// the native loop. Any other opcode does nothing but its fetch, which
// depends on its length alone: one cycle per length serves them all, and
// stores in IR the opcode it finds. So every switch has few destinations.
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
#define TARN_TAIL_PARAMETERS \
    MachineState &state, Console &console, std::size_t PC, std::uint32_t registers, std::uint64_t left

// F, A, B and X in one word, a byte each.
[[gnu::always_inline]] inline std::uint32_t packRegisters(std::size_t F, std::size_t A, std::size_t B, std::size_t X) {
    return static_cast<std::uint32_t>(static_cast<Byte>(F)) | static_cast<std::uint32_t>(static_cast<Byte>(A)) << 8 |
           static_cast<std::uint32_t>(static_cast<Byte>(B)) << 16 | static_cast<std::uint32_t>(static_cast<Byte>(X)) << 24;
}

// The opcode whose cycle runs an opcode: itself if the table lists it, else
// the first opcode of its length that the table does not list.
constexpr Byte cycleOpcodeOf(Byte opcode) {
    if (findInstruction(opcode) != nullptr) return opcode;
    for (unsigned other = 0; other < 256; ++other) {
        const auto candidate = static_cast<Byte>(other);
        if (instructionLength(candidate) == instructionLength(opcode) && findInstruction(candidate) == nullptr)
            return candidate;
    }
    return opcode;
}

template <Byte opcode>
std::uint64_t tailCycle(TARN_TAIL_PARAMETERS);

// Goes on to the cycle of the instruction at PC, or returns where the native
// loop would go to stepMachine.
#define TARN_TAIL_CASE(h, l)                                                                  \
    case 0x##h##l:                                                                            \
        [[clang::musttail]] return tailCycle<cycleOpcodeOf(0x##h##l)>(state, console, PC, registers, left);
#define TARN_TAIL_DISPATCH                                                            \
    switch (PC < NEAR_THE_END ? unsigned{state.M[PC]} : 256u) {                         \
        TARN_EVERY_OPCODE(TARN_TAIL_CASE)                                             \
        default: break;                                                               \
    }

template <Byte opcode>
std::uint64_t tailCycle(TARN_TAIL_PARAMETERS) {
    Processor processor{state.M, state.IR, registers & 0xFFu, PC, registers >> 8 & 0xFFu, registers >> 16 & 0xFFu,
                        registers >> 24};
    if constexpr (opcode == Op::Rst) {
        storeRegisters(processor, state);
        return left;
    } else {
        if constexpr (findInstruction(opcode) != nullptr) {
            cycle<opcode>(processor, state, console);
        } else {
            // An opcode of this length that the table does not list.
            if (PC >= NEAR_THE_END) __builtin_unreachable();
            const Byte found = state.M[PC];
            if (instructionLength(found) != instructionLength(opcode)) __builtin_unreachable();
            decode(processor, found);
        }
        --left;
        if ((!maySetDebugByOpcode[opcode] || (processor.F & FLAG_D) == 0) && left != 0) {
            PC = processor.PC;
            registers = packRegisters(processor.F, processor.A, processor.B, processor.X);
            TARN_TAIL_DISPATCH
        }
        storeRegisters(processor, state);
        return left;
    }
}

// The first cycle of a stretch, from the registers in the record.
std::uint64_t firstTailCycle(TARN_TAIL_PARAMETERS) {
    TARN_TAIL_DISPATCH
    return left;
}

#undef TARN_TAIL_DISPATCH
#undef TARN_TAIL_CASE
#undef TARN_TAIL_PARAMETERS

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
        if (state.M[state.PC] == Op::Rst) break;
        left = firstTailCycle(state, console, state.PC, packRegisters(state.F, state.A, state.B, state.X), left);
    }
    return limit - left;
}
