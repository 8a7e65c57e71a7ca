#include "programs/web/wasm/machine_view.hpp"

#include "grading/exercise.hpp"
#include "text/numbers.hpp"

#include <initializer_list>
#include <string>
#include <utility>

namespace tarn::web {

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
