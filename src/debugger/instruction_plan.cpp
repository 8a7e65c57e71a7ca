#include "debugger/instruction_plan.hpp"

#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"

#include <algorithm>
#include <cstddef>

namespace tarn::debugger {

void planInstruction(const MachineState& state, std::string_view input, std::size_t inputTaken, InstructionPlan& plan) {
    // Every field anew: the plan may be the last instruction's.
    plan.decoded = state;
    plan.uses = 0;
    plan.usesEffective = false;
    plan.effective = 0;
    plan.stringPastMemory = false;
    plan.string = plan.reads = plan.writes = ByteSet{};
    fetchInstruction(plan.decoded);
    const MachineState& d = plan.decoded;
    const unsigned length = instructionLength(d.IR);
    // The operand bytes are read by the fetch (four-byte instructions skip theirs).
    if ((length == 2 || length == 3) && state.PC + 1u < 256) plan.reads.set(state.PC + 1u);
    if (length == 3 && state.PC + 2u < 256) plan.reads.set(state.PC + 2u);

    plan.uses = memoryUseByOpcode[d.IR];
    if (plan.uses == 0) return;
    const bool skipped = (plan.uses & SKIPPED_IF_ZERO_AT_B) && d.M[d.B] == 0;  // a division by 0
    if (plan.uses & READS_AT_B) plan.reads.set(d.B);
    if ((plan.uses & WRITES_AT_B) && !skipped) plan.writes.set(d.B);
    if ((plan.uses & (READS_EFFECTIVE | WRITES_EFFECTIVE)) && !skipped) {
        plan.usesEffective = true;
        plan.effective = effectiveAddress(d);
        if (plan.effective < 256) {
            if (plan.uses & READS_EFFECTIVE) plan.reads.set(plan.effective);
            if (plan.uses & WRITES_EFFECTIVE) plan.writes.set(plan.effective);
        }
    }
    if (plan.uses & PRINTS_FROM_A) {
        unsigned address = d.A;
        for (; address < 256; ++address) {
            plan.reads.set(address);
            if (d.M[address] == 0) break;
            plan.string.set(address);
        }
        plan.stringPastMemory = address >= 256;
    }
    if (plan.uses & STORES_WORD_AT_A) {
        const InputWord word = nextInputWord(input.substr(std::min(inputTaken, input.size())));
        std::size_t copied = 0;
        while (copied < word.text.size() && word.text[copied] != '\0') ++copied;
        for (std::size_t i = 0; i < copied && d.A + i < 256; ++i) plan.writes.set(static_cast<unsigned>(d.A + i));
        plan.string = plan.writes;
        plan.stringPastMemory = copied > 0 && d.A + copied > 256;
    }
}

}  // namespace tarn::debugger
