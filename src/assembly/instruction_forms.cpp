#include "assembly/instruction_forms.hpp"

#include <algorithm>

namespace tarn {

unsigned operandCount(Byte opcode) {
    const unsigned length = instructionLength(opcode);
    return length == 4 ? 0 : length - 1;
}

bool operandIsAddress(const Instruction& instruction, unsigned index) {
    if (index == 0) return instruction.opcode != Op::ValOffst;
    return instruction.opcode != Op::Val;
}

Flow flowOf(const Instruction& instruction) {
    if (instruction.opcode == Op::Rst) return Flow::Stops;
    if (instruction.opcode == Op::Jmp) return Flow::Jumps;
    if (instruction.mnemonic.starts_with("JP")) return Flow::Branches;
    return Flow::FallsThrough;
}

std::array<ByteRole, 256> findCode(const std::vector<Byte>& image) {
    const std::size_t size = std::min<std::size_t>(image.size(), 256);
    std::array<ByteRole, 256> role{};
    std::vector<unsigned> pending;
    if (size > 0) pending.push_back(0);
    while (!pending.empty()) {
        const unsigned address = pending.back();
        pending.pop_back();
        if (address >= size || role[address] != ByteRole::Data) continue;
        const Byte opcode = image[address];
        const unsigned length = instructionLength(opcode);
        if (address + length > size) continue;
        bool free = true;
        for (unsigned offset = 1; offset < length; ++offset)
            if (role[address + offset] != ByteRole::Data) free = false;
        if (!free) continue;

        role[address] = ByteRole::Start;
        for (unsigned offset = 1; offset < length; ++offset) role[address + offset] = ByteRole::Operand;
        const unsigned next = (address + length) % 256;  // PC wraps around
        const Instruction* instruction = findInstruction(opcode);
        if (instruction == nullptr) {
            // An unassigned opcode does nothing: the machine goes on after it.
            pending.push_back(next);
            continue;
        }
        const unsigned target = length >= 2 ? image[address + 1] : 0;
        switch (flowOf(*instruction)) {
            case Flow::Stops: break;
            case Flow::Jumps: pending.push_back(target); break;
            case Flow::Branches:
                pending.push_back(target);
                pending.push_back(next);
                break;
            case Flow::FallsThrough: pending.push_back(next); break;
        }
    }
    return role;
}

}  // namespace tarn
