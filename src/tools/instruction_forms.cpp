#include "tools/instruction_forms.hpp"

namespace tarn {

unsigned operandCount(Byte opcode) {
    const unsigned length = instructionLength(opcode);
    return length == 4 ? 0 : length - 1;
}

bool operandIsAddress(const Instruction& instruction, unsigned index) {
    if (index == 0) return instruction.mnemonic != "VALOFFST";
    return instruction.mnemonic != "VAL";
}

Flow flowOf(const Instruction& instruction) {
    if (instruction.opcode == 0) return Flow::Stops;
    if (instruction.mnemonic == "JMP") return Flow::Jumps;
    if (instruction.mnemonic.starts_with("JP")) return Flow::Branches;
    return Flow::FallsThrough;
}

}  // namespace tarn
