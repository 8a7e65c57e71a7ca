// A second, deliberately plain model of the machine, written from what each
// instruction means and sharing nothing with the execution units: the fuzz
// harness runs it beside the real machine and compares the two after every
// instruction. Only the layout of the machine record is borrowed, so that the
// two states can be compared byte for byte.
//
// Nothing here is tuned for speed or cleverness: every rule is spelled out the
// long way, so that a reader can check it against the instruction's meaning.
#pragma once

#include "machine/machine_state.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnref {

using Byte = std::uint8_t;

// One run of the model: the machine, its input and everything it printed.
struct ReferenceRun {
    tarn::MachineState state{};
    std::string input;              // all of standard input, given at the start
    std::size_t inputPosition = 0;  // how much of it has been taken
    std::string output;             // WRT text and trace displays, in order
};

// Puts an image at address 0 (at most 256 bytes of it) and sets F, PC, A, B
// and X to 0; IR and the memory past the image keep what they held.
void loadReference(ReferenceRun& run, const Byte* image, std::size_t length);

// The byte at an address: 0..255 memory, 256..260 PC, IR, A, B, X; 0 above.
Byte readAddress(const tarn::MachineState& state, unsigned address);

// Stores a byte at an address; above 260 nothing happens.
void writeAddress(tarn::MachineState& state, unsigned address, Byte value);

// The name the trace display gives an opcode ("NOP" for unassigned ones).
std::string_view mnemonicName(Byte opcode);

// The trace display of a state, exactly as the machine shows it.
std::string displayText(const tarn::MachineState& state);

// One cycle: returns false, changing nothing, when the opcode at PC is 0;
// otherwise fetches, appends the trace display when D is set, executes.
bool referenceStep(ReferenceRun& run);

// Steps until the machine stops or `limit` instructions have run; returns how
// many ran.
std::uint64_t runReference(ReferenceRun& run, std::uint64_t limit);

}  // namespace tarnref
