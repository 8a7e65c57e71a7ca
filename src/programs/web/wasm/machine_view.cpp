#include "programs/web/wasm/machine_view.hpp"

#include "grading/exercise.hpp"
#include "text/numbers.hpp"

#include <initializer_list>
#include <string>
#include <utility>

namespace tarn::web {

json programCellsJson(const debugger::Program& program) {
    json labels = json::array(), roles = json::array();
    for (unsigned address = 0; address < 256; ++address) {
        const debugger::ProgramLabel* label = program.labelAt(address);
        if (label == nullptr)
            labels.push_back(nullptr);
        else if (address == label->address)
            labels.push_back(label->name);
        else
            labels.push_back(label->name + "+" + std::to_string(address - label->address));
        switch (program.roles[address]) {
            case debugger::CellRole::Instruction: roles.push_back("istruzione"); break;
            case debugger::CellRole::Operand: roles.push_back("operando"); break;
            case debugger::CellRole::Data: roles.push_back("dato"); break;
            case debugger::CellRole::Undefined: roles.push_back(nullptr); break;
        }
    }
    return json{{"labels", std::move(labels)}, {"roles", std::move(roles)}};
}

json machineJson(const MachineState& m) {
    json registers = json::object(), registersText = json::object();
    using Register = std::pair<const char*, Byte>;
    for (const auto& [name, value] :
         std::initializer_list<Register>{{"PC", m.PC}, {"IR", m.IR}, {"A", m.A}, {"B", m.B}, {"X", m.X}}) {
        registers[name] = value;
        registersText[name] = addressText(value);
    }
    json flags = json::object();
    for (const grading::FlagName& flag : grading::FLAG_NAMES)
        flags[std::string(1, flag.letter)] = (m.F & flag.bit) ? 1 : 0;
    json memory = json::array();
    std::string characters;
    for (const Byte byte : m.M) {
        memory.push_back(byte);
        characters += rowCharacter(byte);
    }
    return json{{"registers", std::move(registers)},
                {"registersText", std::move(registersText)},
                {"flags", std::move(flags)},
                {"memory", std::move(memory)},
                {"characters", std::move(characters)}};
}

}  // namespace tarn::web
