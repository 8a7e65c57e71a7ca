#pragma once

#include "machine/machine_state.hpp"

namespace tarn {

// Helpers of the control unit.
namespace control {

template <MachineForm Machine>
[[gnu::always_inline]] inline void jumpIf(Machine& state, bool taken) {
    if (taken) state.PC = state.A;  // absolute: X plays no part
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
    switch (state.IR) {
        case 1: state.F |= FLAG_D; break;   // STD
        case 2: state.F |= FLAG_Z; break;   // STZ
        case 3: state.F |= FLAG_O; break;   // STO
        case 4: state.F |= FLAG_P; break;   // STP
        case 5: state.F |= FLAG_N; break;   // STN
        case 6: break;                      // NOP
        // Each clear keeps the low five bits but its own: bits 0x20..0x80 go too.
        case 7: state.F &= 0x1E; break;     // CLD
        case 8: state.F &= 0x1D; break;     // CLZ
        case 9: state.F &= 0x1B; break;     // CLO
        case 10: state.F &= 0x17; break;    // CLP
        case 11: state.F &= 0x0F; break;    // CLN
        case 64: jumpIf(state, true); break;                 // JMP
        case 65: jumpIf(state, state.F & FLAG_D); break;     // JPD
        case 66: jumpIf(state, state.F & FLAG_O); break;     // JPO
        case 67: jumpIf(state, state.F & FLAG_Z); break;     // JPZ
        case 68: jumpIf(state, state.F & FLAG_P); break;     // JPP
        case 69: jumpIf(state, state.F & FLAG_N); break;     // JPN
        case 74: state.X = state.A; break;                   // VALOFFST
        case 133: {  // CPY: exchanges M[A+X] and M[B]; each step reads A, X, B afresh
            const Byte saved = readByte(state, effectiveAddress(state));
            writeByte(state, effectiveAddress(state), state.M[state.B]);
            state.M[state.B] = saved;
            flagByB(state);
            break;
        }
        case 134:  // VAL: stores the immediate B at A+X
            writeByte(state, effectiveAddress(state), static_cast<Byte>(state.B));
            flagByB(state);
            break;
        default: break;
    }
}

}  // namespace tarn
