#include "grading/memory_over_program.hpp"

#include "assembly/instruction_forms.hpp"
#include "machine/loop_detection.hpp"

#include <cstddef>

namespace tarn::grading {

namespace {

constexpr std::size_t MEMORY_BYTES = 256;

// The instruction bytes of a run of `executed` instructions from `before`,
// one step at a time on a console that prints nothing; it stops early once
// every address in `wanted` has been found.
InstructionBytes executedBytes(const TestCase& testCase, const MachineState& before, std::uint64_t executed,
                               const InstructionBytes& wanted, std::size_t wantedCount) {
    InstructionBytes found{};
    std::size_t left = wantedCount;
    QuietRun run(testCase.input, true);
    RunPoint point{before, 0, 0};
    for (std::uint64_t step = 0; step < executed && left > 0; ++step) {
        const Byte pc = point.state.PC;
        const unsigned length = 1 + operandCount(point.state.M[pc]);
        // Past address 255 the fetch reads the registers, not memory.
        for (unsigned offset = 0; offset < length && pc + offset < MEMORY_BYTES; ++offset) {
            const std::size_t address = pc + offset;
            if (found[address]) continue;
            found[address] = true;
            if (wanted[address]) --left;
        }
        if (run.advance(point) != QuietRun::Step::Ran) break;
    }
    return found;
}

}  // namespace

std::vector<Byte> memoryOverProgram(const TestCase& testCase, const MachineState& before, std::uint64_t executed,
                                    const InstructionBytes* instructions) {
    InstructionBytes placed{};
    std::size_t placedCount = 0;
    for (const MemoryBytes& block : testCase.memory)
        for (std::size_t index = 0; index < block.bytes.size() && block.address + index < MEMORY_BYTES; ++index)
            if (!placed[block.address + index]) {
                placed[block.address + index] = true;
                ++placedCount;
            }
    if (placedCount == 0) return {};
    const InstructionBytes code =
        instructions != nullptr ? *instructions : executedBytes(testCase, before, executed, placed, placedCount);
    std::vector<Byte> over;
    for (std::size_t address = 0; address < MEMORY_BYTES; ++address)
        if (placed[address] && code[address]) over.push_back(static_cast<Byte>(address));
    return over;
}

}  // namespace tarn::grading
