#pragma once

#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"

namespace tarn {

// Helpers of the control unit.
namespace control {

template <MachineForm Machine>
[[gnu::always_inline]] inline void jumpIf(Machine& state, bool taken) {
    if (taken) state.PC = state.A;  // absolute: X plays no part
}

// What a CLx instruction keeps of F: the low five bits but the flag it
// clears, so that bits 0x20..0x80 go too.
constexpr Byte keptByClear(Byte flag) {
    return static_cast<Byte>(0x1F & ~flag);
}

// CPY and VAL flag by the register B itself: 0 sets D (the tracer switches
// on), anything else sets P.
template <MachineForm Machine>
[[gnu::always_inline]] inline void flagByB(Machine& state) {
    if (state.B == 0) [[unlikely]]
        state.F |= FLAG_D;
    else
        state.F |= FLAG_P;
}

}  // namespace control

// Flags, jumps, the offset register, CPY and VAL: the instruction in IR.
//
// Each instruction is defined once, here, for the record and for the run
// loop's processor alike; the definitions are inline so that the run loop,
// which knows the opcode it is running, gets them compiled in place.
template <MachineForm Machine>
[[gnu::always_inline]] inline void controlUnit(Machine& state) {
    using namespace control;
    switch (static_cast<Op>(state.IR)) {
        case Op::Std: state.F |= FLAG_D; break;
        case Op::Stz: state.F |= FLAG_Z; break;
        case Op::Sto: state.F |= FLAG_O; break;
        case Op::Stp: state.F |= FLAG_P; break;
        case Op::Stn: state.F |= FLAG_N; break;
        case Op::Nop: break;
        case Op::Cld: state.F &= keptByClear(FLAG_D); break;
        case Op::Clz: state.F &= keptByClear(FLAG_Z); break;
        case Op::Clo: state.F &= keptByClear(FLAG_O); break;
        case Op::Clp: state.F &= keptByClear(FLAG_P); break;
        case Op::Cln: state.F &= keptByClear(FLAG_N); break;
        case Op::Jmp: jumpIf(state, true); break;
        case Op::Jpd: jumpIf(state, state.F & FLAG_D); break;
        case Op::Jpo: jumpIf(state, state.F & FLAG_O); break;  // 66 tests O
        case Op::Jpz: jumpIf(state, state.F & FLAG_Z); break;  // and 67 tests Z
        case Op::Jpp: jumpIf(state, state.F & FLAG_P); break;
        case Op::Jpn: jumpIf(state, state.F & FLAG_N); break;
        case Op::ValOffst: state.X = state.A; break;
        case Op::Cpy: {  // exchanges M[A+X] and M[B]; each step reads A, X, B afresh
            const Byte saved = readByte(state, effectiveAddress(state));
            writeByte(state, effectiveAddress(state), state.M[state.B]);
            state.M[state.B] = saved;
            flagByB(state);
            break;
        }
        case Op::Val:  // stores the immediate B at A+X
            writeByte(state, effectiveAddress(state), static_cast<Byte>(state.B));
            flagByB(state);
            break;
        default: break;
    }
}

}  // namespace tarn
