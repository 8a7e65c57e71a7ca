#pragma once

#include "machine/machine_state.hpp"

#include <array>
#include <cstdint>

namespace tarn {

// Helpers of the arithmetic unit.
namespace arithmetic {

// A memory byte read as a two's-complement value, -128..127.
inline int signedValue(Byte value) {
    return static_cast<std::int8_t>(value);  // conversions to a signed type wrap modulo 256
}

// v reduced modulo 256 into -128..127.
inline int wrap(int value) {
    return static_cast<std::int8_t>(value);
}

// The flag a result byte sets: Z for 0, P for 1..127, N for the negative
// values 128..255. A table look-up keeps the run loop free of branches here.
inline constexpr std::array<Byte, 256> RESULT_FLAG = [] {
    std::array<Byte, 256> flags{};
    for (unsigned value = 0; value < 256; ++value)
        flags[value] = value == 0 ? FLAG_Z : value < 128 ? FLAG_P : FLAG_N;
    return flags;
}();

// Flags only ever gain bits here.
inline void setResultFlags(MachineState& state, int result) {
    state.F |= RESULT_FLAG[static_cast<Byte>(result & 0xFF)];
}

// Stores a signed result at A+X and flags it.
inline void storeResult(MachineState& state, int result) {
    writeByte(state, effectiveAddress(state), static_cast<Byte>(result & 0xFF));
    setResultFlags(state, result);
}

// The result when an overflow is detected: O is set and 0 is stored.
inline int overflowed(MachineState& state) {
    state.F |= FLAG_O;
    return 0;
}

inline int operandA(MachineState& state) {
    return signedValue(readByte(state, effectiveAddress(state)));
}

inline int operandB(const MachineState& state) {
    return signedValue(state.M[state.B]);
}

inline void divide(MachineState& state) {
    if (state.M[state.B] == 0) return;  // division by zero: nothing changes
    const int dividend = operandA(state);
    const int divisor = operandB(state);
    const int quotient = wrap(dividend / divisor);  // truncated toward zero
    const int remainder = dividend % divisor;       // takes the dividend's sign
    writeByte(state, effectiveAddress(state), static_cast<Byte>(quotient & 0xFF));
    // Written second, with B read afresh: the remainder wins when both meet.
    state.M[state.B] = static_cast<Byte>(remainder & 0xFF);
    setResultFlags(state, quotient);
}

inline void compare(MachineState& state) {
    const Byte left = readByte(state, effectiveAddress(state));  // unsigned
    const Byte right = state.M[state.B];
    if (left == right) state.F |= FLAG_Z;
    else if (left > right) state.F |= FLAG_P;
    else state.F |= FLAG_N;
}

}  // namespace arithmetic

// INC, DEC, ADD, SUB, MUL, DIV, CMP, INCOFFST and DECOFFST: the instruction in IR.
//
// Each instruction is defined once, here; the definitions are inline so that
// the run loop, which knows the opcode it is running, gets them compiled in
// place.
//
// Overflow detection is one-sided: ADD and MUL catch only results above 127,
// SUB only results below -128; anything else wraps.
[[gnu::always_inline]] inline void arithmeticUnit(MachineState& state) {
    using namespace arithmetic;
    switch (state.IR) {
        case 12: ++state.X; break;  // INCOFFST
        case 13: --state.X; break;  // DECOFFST
        case 72: {                  // INC
            const int a = operandA(state);
            storeResult(state, a == 127 ? overflowed(state) : a + 1);
            break;
        }
        case 73: {  // DEC
            const int a = operandA(state);
            storeResult(state, a == -128 ? overflowed(state) : a - 1);
            break;
        }
        case 128: compare(state); break;  // CMP
        case 129: {                       // ADD
            const int sum = operandA(state) + operandB(state);
            storeResult(state, sum > 127 ? overflowed(state) : wrap(sum));
            break;
        }
        case 130: {  // SUB
            const int difference = operandA(state) - operandB(state);
            storeResult(state, difference < -128 ? overflowed(state) : wrap(difference));
            break;
        }
        case 131: {  // MUL
            const int product = operandA(state) * operandB(state);
            storeResult(state, product > 127 ? overflowed(state) : wrap(product));
            break;
        }
        case 132: divide(state); break;  // DIV
        default: break;
    }
}

}  // namespace tarn
