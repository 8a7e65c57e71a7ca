// The whole simulated machine: the flags byte, 256 bytes of memory and the
// five byte registers, in one record of 262 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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

// Addresses from 256 on: the registers, and nothing above 260. Reading
// changes nothing, which lets the compiler keep what it knows of the state.
[[gnu::pure]] Byte readRegisterByte(const MachineState& state, unsigned address);
void writeRegisterByte(MachineState& state, unsigned address, Byte value);

// Reading outside the machine gives 0. Memory is the common case, kept inline.
inline Byte readByte(const MachineState& state, unsigned address) {
    if (address < 256) [[likely]]
        return state.M[address];
    return readRegisterByte(state, address);
}

// Writing outside the machine changes nothing.
inline void writeByte(MachineState& state, unsigned address, Byte value) {
    if (address < 256) [[likely]]
        state.M[address] = value;
    else
        writeRegisterByte(state, address, value);
}

// Effective address: A + X as a plain sum, 0..510.
inline unsigned effectiveAddress(const MachineState& state) {
    return unsigned{state.A} + unsigned{state.X};
}

// How the load of a program image went; the machine itself never looks at it.
struct LoadReport {
    bool opened = false;
    bool readFailed = false;  // opened, but reading it failed (a directory, say)
    std::string reason;       // the system's reason when it could not be opened or read
    bool truncated = false;   // the image held more than 256 bytes
};

// Resets F, PC, A, B and X and copies the image at path into memory from
// address 0; at most 256 bytes are loaded.
LoadReport loadProgram(const std::string& path, MachineState& state);

// The same from an image in memory: resets F, PC, A, B and X and copies the
// image from address 0. Returns false when the image held more than 256 bytes
// and only the first 256 were loaded.
bool loadImage(std::span<const Byte> image, MachineState& state);

}  // namespace tarn
