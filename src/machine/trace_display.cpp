#include "machine/trace_display.hpp"

#include "machine/instruction_set.hpp"

#include <iterator>
#include <string>

namespace tarn {

namespace {

constexpr std::string_view RULE = "------------------------------------------------------------------------------";
static_assert(RULE.size() == 78);

// Labels of the flag bits, from bit 0x01 up. Nothing sets bit 0x20, but the
// display would name it.
constexpr std::string_view FLAG_LABELS[] = {
    "Debug ", "Zero ", "Overflow ", "Positive ", "Negative ", "dIv_x_ZeRo!!! ",
};

void addLine(std::string& text, std::string_view label, std::string_view value) {
    text += label;
    text.append(28 - label.size(), ' ');
    text += "= ";
    text += value;
    text += '\n';
}

}  // namespace

std::string_view mnemonicText(Byte opcode) {
    const Instruction* instruction = findInstruction(opcode);
    return instruction ? instruction->mnemonic : "NOP";
}

void mnemonicOf(Byte opcode, Console& console) {
    console.writeOutput(mnemonicText(opcode));
}

std::string traceDisplay(const MachineState& state) {
    std::string flags;
    for (unsigned bit = 0; bit < std::size(FLAG_LABELS); ++bit)
        if (state.F & (1u << bit)) flags += FLAG_LABELS[bit];

    std::string text = "\n----------------------------- Virtual Processor State ------------------------\n";
    addLine(text, "PROSSIMA ISTRUZIONE", std::to_string(state.PC));
    addLine(text, "REGISTRO DEI FLAGS", flags);
    addLine(text, "ISTRUZIONE DA ESEGUIRE", mnemonicText(state.IR));
    addLine(text, "OPERANDO A", std::to_string(state.A));
    addLine(text, "OPERANDO B", std::to_string(state.B));
    addLine(text, "REGISTRO DI SPIAZZAMENTO", std::to_string(state.X));
    text += RULE;
    text += "\n\n";
    return text;
}

void showState(const MachineState& state, Console& console) {
    console.showTrace(traceDisplay(state));  // all of it, then the wait
}

}  // namespace tarn
