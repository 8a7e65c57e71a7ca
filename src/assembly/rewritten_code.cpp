#include "assembly/rewritten_code.hpp"

#include "assembly/instruction_forms.hpp"
#include "machine/instruction_set.hpp"
#include "text/numbers.hpp"

namespace tarn {

RanInstruction ranInstruction(const MachineState& state, Byte address) {
    RanInstruction ran;
    ran.address = address;
    ran.bytes[0] = state.M[address];
    for (unsigned index = 1; index <= operandCount(ran.bytes[0]); ++index)
        ran.bytes[index] = readByte(state, unsigned{address} + index);
    return ran;
}

bool rewrittenByProgram(const RanInstruction& ran, std::span<const Byte> image) {
    const auto placed = [&](unsigned address) -> Byte { return address < image.size() ? image[address] : Byte{0}; };
    if (placed(ran.address) != ran.bytes[0]) return true;
    for (unsigned index = 1; index <= operandCount(ran.bytes[0]); ++index) {
        const unsigned address = unsigned{ran.address} + index;
        if (address < 256 && placed(address) != ran.bytes[index]) return true;
    }
    return false;
}

std::string ranInstructionText(const RanInstruction& ran, std::span<const LabelEntry> labels) {
    const Instruction* instruction = findInstruction(ran.bytes[0]);
    if (instruction == nullptr) return "NOP";
    std::string text(instruction->mnemonic);
    for (unsigned index = 0; index < operandCount(ran.bytes[0]); ++index) {
        const Byte operand = ran.bytes[index + 1];
        text += index == 0 ? " " : ", ";
        if (!operandIsAddress(*instruction, index)) {
            text += std::to_string(operand);
            continue;
        }
        std::string name = hexAddress(operand);
        for (const LabelEntry& label : labels)
            if (label.address == operand) {
                name = label.name;
                break;
            }
        text += name;
    }
    return text;
}

std::string rewrittenLineText(const RanInstruction& ran, std::int64_t line, std::span<const LabelEntry> labels) {
    std::string text;
    for (const LabelEntry& label : labels)
        if (label.line == line) text += label.name + ": ";
    return text + ranInstructionText(ran, labels) + " (" + std::string(REWRITTEN_NOTE) + ")";
}

}  // namespace tarn
