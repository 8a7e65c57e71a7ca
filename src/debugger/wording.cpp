#include "debugger/wording.hpp"

#include "machine/instruction_set.hpp"
#include "text/numbers.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tarn::debugger {

namespace {

// The memory a run starts with: the image, and the bytes placed over it.
std::array<Byte, 256> memoryAtStart(const Program& program) {
    std::array<Byte, 256> memory{};
    std::copy_n(program.image.begin(), std::min<std::size_t>(program.image.size(), 256), memory.begin());
    for (unsigned address = 0; address < 256; ++address)
        if (program.placed[address]) memory[address] = program.placedValue[address];
    return memory;
}

}  // namespace

std::string instructionCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " istruzione" : " istruzioni");
}

std::string rewrittenInstructionText(const Program& program, const RanInstruction& ran) {
    return ranInstructionText(ran, labelEntries(program)) + " (" + std::string(REWRITTEN_NOTE) + ")";
}

std::string_view mnemonicOf(Byte opcode) {
    const Instruction* instruction = findInstruction(opcode);
    return instruction ? instruction->mnemonic : std::string_view{"NOP"};
}

std::vector<LabelEntry> labelEntries(const Program& program) {
    std::vector<LabelEntry> labels;
    for (const ProgramLabel& label : program.labels)
        labels.push_back({label.name, label.line, static_cast<int>(label.address)});
    return labels;
}

bool rewritten(const Program& program, const RanInstruction& ran) {
    return rewrittenByProgram(ran, memoryAtStart(program));
}

std::string instructionAt(const Program& program, const MachineState& state, Byte address) {
    const RanInstruction ran = ranInstruction(state, address);
    const bool isRewritten = rewritten(program, ran);
    std::string text =
        (isRewritten ? ranInstructionText(ran, labelEntries(program)) : std::string(mnemonicOf(state.M[address]))) + " (";
    if (const ProgramLine* line = program.lineAt(address)) text += "riga " + std::to_string(line->number) + ", ";
    text += "indirizzo " + hexAddress(address);
    if (isRewritten) text += ", " + std::string(REWRITTEN_NOTE);
    return text + ")";
}

std::string placeOf(const Program& program, Byte address) {
    const ProgramLine* line = program.lineAt(address);
    return line ? "alla riga " + std::to_string(line->number) : "all'indirizzo " + hexAddress(address);
}

std::string lineNote(const Program& program, unsigned address) {
    const ProgramLine* line = program.lineAt(address);
    return line ? ", riga " + std::to_string(line->number) : std::string();
}

std::string_view withoutComment(std::string_view text) {
    char quote = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == '\\') ++at;
            else if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            return text.substr(0, at);
        }
    }
    return text;
}

std::string trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(' ');
    return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace tarn::debugger
