// What the next instruction will do with memory, worked out on a decoded
// copy of the machine before it runs: the session's step records what it
// wrote, its stops and warnings look at what it will read and write, and
// the screen marks the bytes it uses.
#pragma once

#include "debugger/byte_set.hpp"
#include "machine/machine_state.hpp"

#include <cstddef>
#include <string_view>

namespace tarn::debugger {

struct InstructionPlan {
    MachineState decoded;           // the machine after the fetch
    Byte uses = 0;                  // its Instruction::memory bits
    bool usesEffective = false;     // reads or writes A + X
    unsigned effective = 0;
    bool stringPastMemory = false;  // INP or WRT runs on past address 255
    ByteSet string;                 // the bytes INP stores or WRT prints (its 0 left out)
    ByteSet reads;
    ByteSet writes;
};

// Makes `plan` (whatever it held before) the plan of the instruction at the
// machine's PC. An INP takes its word from the input past the inputTaken
// bytes read already. A run plans every step into the same plan, which
// costs no copy of it.
void planInstruction(const MachineState& state, std::string_view input, std::size_t inputTaken, InstructionPlan& plan);

}  // namespace tarn::debugger
