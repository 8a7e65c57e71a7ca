#pragma once

#include "machine/instruction_set.hpp"
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
template <MachineForm Machine>
[[gnu::always_inline]] inline void setResultFlags(Machine& state, int result) {
    state.F |= RESULT_FLAG[static_cast<Byte>(result & 0xFF)];
}

// Stores a signed result at A+X and flags it, both by its low byte: the
// result wraps modulo 256 here.
template <MachineForm Machine>
[[gnu::always_inline]] inline void storeResult(Machine& state, int result) {
    writeByte(state, effectiveAddress(state), static_cast<Byte>(result & 0xFF));
    setResultFlags(state, result);
}

// The result when an overflow is detected: O is set and 0 is stored.
template <MachineForm Machine>
[[gnu::always_inline]] inline int overflowed(Machine& state) {
    state.F |= FLAG_O;
    return 0;
}

template <MachineForm Machine>
[[gnu::always_inline]] inline int operandA(Machine& state) {
    return signedValue(readByte(state, effectiveAddress(state)));
}

template <MachineForm Machine>
[[gnu::always_inline]] inline int operandB(const Machine& state) {
    return signedValue(state.M[state.B]);
}

template <MachineForm Machine>
[[gnu::always_inline]] inline void divide(Machine& state) {
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

// The flag a comparison of two unsigned bytes sets, by their difference
// moved up by 255: Z for equal, P when the left is greater, N when it is
// less. A table look-up again, as for results.
inline constexpr std::array<Byte, 511> COMPARE_FLAG = [] {
    std::array<Byte, 511> flags{};
    for (int difference = -255; difference <= 255; ++difference)
        flags[static_cast<std::size_t>(difference + 255)] =
            difference == 0 ? FLAG_Z : difference > 0 ? FLAG_P : FLAG_N;
    return flags;
}();

template <MachineForm Machine>
[[gnu::always_inline]] inline void compare(Machine& state) {
    const std::size_t left = readByte(state, effectiveAddress(state));  // unsigned
    const std::size_t right = state.M[state.B];
    state.F |= COMPARE_FLAG[left + 255 - right];
}

}  // namespace arithmetic

// INC, DEC, ADD, SUB, MUL, DIV, CMP, INCOFFST and DECOFFST: the instruction in IR.
//
// Each instruction is defined once, here, for the record and for the run
// loop's processor alike; the definitions are inline so that the run loop,
// which knows the opcode it is running, gets them compiled in place.
//
// Overflow detection is one-sided: ADD and MUL catch only results above 127,
// SUB only results below -128; anything else wraps.
template <MachineForm Machine>
[[gnu::always_inline]] inline void arithmeticUnit(Machine& state) {
    using namespace arithmetic;
    switch (static_cast<Op>(state.IR)) {
        case Op::IncOffst: state.X = static_cast<Byte>(state.X + 1); break;
        case Op::DecOffst: state.X = static_cast<Byte>(state.X - 1); break;
        case Op::Inc: {  // as a signed byte, overflows from 127 alone; the host tests its own flag
            std::int8_t result;
            const bool over = __builtin_add_overflow(static_cast<std::int8_t>(operandA(state)), 1, &result);
            storeResult(state, over ? overflowed(state) : static_cast<Byte>(result));
            break;
        }
        case Op::Dec: {  // from -128 alone, likewise
            std::int8_t result;
            const bool over = __builtin_sub_overflow(static_cast<std::int8_t>(operandA(state)), 1, &result);
            storeResult(state, over ? overflowed(state) : static_cast<Byte>(result));
            break;
        }
        case Op::Cmp: compare(state); break;
        case Op::Add: {
            const int sum = operandA(state) + operandB(state);
            storeResult(state, sum > 127 ? overflowed(state) : sum);
            break;
        }
        case Op::Sub: {
            const int difference = operandA(state) - operandB(state);
            storeResult(state, difference < -128 ? overflowed(state) : difference);
            break;
        }
        case Op::Mul: {
            const int product = operandA(state) * operandB(state);
            storeResult(state, product > 127 ? overflowed(state) : product);
            break;
        }
        case Op::Div: divide(state); break;
        default: break;
    }
}

}  // namespace tarn
