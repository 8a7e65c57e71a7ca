// A case whose memory lands on the program's own instructions: the program
// that runs is then not the one handed in. The reference solution must
// never meet such a case (tarngrade --verifica says so as a fault of the
// exercise); a student's report notes it.
#pragma once

#include "grading/exercise.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarn::grading {

// The bytes that hold a program's instructions, by address.
using InstructionBytes = std::array<bool, 256>;

// The addresses, ascending, where the case's memory places a byte over an
// instruction byte: of a source, `instructions`, those its instructions
// assemble to; of an image (`instructions` null), those the case's run
// executed (each instruction's opcode and the operand bytes it loads),
// found by running the case again from `before` for the `executed`
// instructions of its run. Nothing is run when the case places no memory.
std::vector<Byte> memoryOverProgram(const TestCase& testCase, const MachineState& before, std::uint64_t executed,
                                    const InstructionBytes* instructions);

}  // namespace tarn::grading
