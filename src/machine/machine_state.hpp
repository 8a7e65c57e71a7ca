// The whole simulated machine: the flags byte, 256 bytes of memory and the
// five byte registers, in one record of 262 bytes; and the processor as the
// run loop holds it.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

using Byte = std::uint8_t;

struct MachineState {
    Byte F;          // flags
    Byte M[256];     // memory: program and data
    Byte PC;         // address of the next instruction to fetch
    Byte IR;         // opcode of the instruction being executed
    Byte A;          // first operand byte
    Byte B;          // second operand byte
    Byte X;          // offset register, added to A to form the effective address
};

static_assert(sizeof(MachineState) == 262, "the machine is 262 bytes, no padding");
static_assert(offsetof(MachineState, M) == 1);
static_assert(offsetof(MachineState, PC) == 257);
static_assert(offsetof(MachineState, X) == 261);

// Flag bits of F.
inline constexpr Byte FLAG_D = 0x01;  // Debug: the tracer single-steps
inline constexpr Byte FLAG_Z = 0x02;  // Zero
inline constexpr Byte FLAG_O = 0x04;  // Overflow
inline constexpr Byte FLAG_P = 0x08;  // Positive
inline constexpr Byte FLAG_N = 0x10;  // Negative

// Addresses 0..255 are memory; 256..260 are the registers PC, IR, A, B, X in
// that order; anything above 260 lies outside the machine.

// The processor as the run loop holds it while it runs. The flags, PC, A, B
// and X are taken out of the record into host words, each always holding a
// byte's value, where the host keeps them in its own registers and indexes
// memory with them as they are. Memory and IR stay in the record: IR is only
// ever written while the loop runs. It is addressed like the record,
// registers included, so that every unit runs on either.
struct Processor {
    Byte (&M)[256];  // the record's memory
    Byte& IR;        // the record's IR
    std::size_t F, PC, A, B, X;
};

// The record itself or the run loop's processor.
template <typename Machine>
concept MachineForm = std::same_as<Machine, MachineState> || std::same_as<Machine, Processor>;

// The processor of a record, taken out of it; storeRegisters puts it back,
// loadRegisters takes it afresh.
inline Processor processorOf(MachineState& state) {
    return {state.M, state.IR, state.F, state.PC, state.A, state.B, state.X};
}

inline void storeRegisters(const Processor& processor, MachineState& state) {
    state.F = static_cast<Byte>(processor.F);
    state.PC = static_cast<Byte>(processor.PC);
    state.A = static_cast<Byte>(processor.A);
    state.B = static_cast<Byte>(processor.B);
    state.X = static_cast<Byte>(processor.X);
}

inline void loadRegisters(Processor& processor, const MachineState& state) {
    processor.F = state.F;
    processor.PC = state.PC;
    processor.A = state.A;
    processor.B = state.B;
    processor.X = state.X;
}

// The register at an address from 256 on; above 260 reads give 0 and writes
// change nothing.
template <MachineForm Machine>
[[gnu::always_inline]] inline Byte registerAt(const Machine& machine, std::size_t address) {
    switch (address) {
        case 256: return static_cast<Byte>(machine.PC);
        case 257: return static_cast<Byte>(machine.IR);
        case 258: return static_cast<Byte>(machine.A);
        case 259: return static_cast<Byte>(machine.B);
        case 260: return static_cast<Byte>(machine.X);
        default: return 0;
    }
}

template <MachineForm Machine>
[[gnu::always_inline]] inline void setRegisterAt(Machine& machine, std::size_t address, Byte value) {
    switch (address) {
        case 256: machine.PC = value; break;
        case 257: machine.IR = value; break;
        case 258: machine.A = value; break;
        case 259: machine.B = value; break;
        case 260: machine.X = value; break;
        default: break;
    }
}

// The same for the record, kept out of line: reading changes nothing, which
// lets the compiler keep what it knows of the state.
[[gnu::pure]] Byte readRegisterByte(const MachineState& state, std::size_t address);
void writeRegisterByte(MachineState& state, std::size_t address, Byte value);

// The processor's are in host registers: inline, they stay there.
[[gnu::always_inline]] inline Byte readRegisterByte(const Processor& processor, std::size_t address) {
    return registerAt(processor, address);
}

[[gnu::always_inline]] inline void writeRegisterByte(Processor& processor, std::size_t address, Byte value) {
    setRegisterAt(processor, address, value);
}

// Reading outside the machine gives 0. Memory is the common case, kept inline.
template <MachineForm Machine>
[[gnu::always_inline]] inline Byte readByte(const Machine& machine, std::size_t address) {
    if (address < 256) [[likely]]
        return machine.M[address];
    return readRegisterByte(machine, address);
}

// Writing outside the machine changes nothing.
template <MachineForm Machine>
[[gnu::always_inline]] inline void writeByte(Machine& machine, std::size_t address, Byte value) {
    if (address < 256) [[likely]]
        machine.M[address] = value;
    else
        writeRegisterByte(machine, address, value);
}

// Effective address: A + X as a plain sum, 0..510.
inline unsigned effectiveAddress(const MachineState& state) {
    return unsigned{state.A} + unsigned{state.X};
}

[[gnu::always_inline]] inline std::size_t effectiveAddress(const Processor& processor) {
    return processor.A + processor.X;
}

// Loads a program image: resets F, PC, A, B and X and copies the image from
// address 0. Returns false when the image held more than 256 bytes and only
// the first 256 were loaded. Where the bytes come from is the host's affair.
bool loadImage(std::span<const Byte> image, MachineState& state);

}  // namespace tarn
