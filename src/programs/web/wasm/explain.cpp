// The explanation of the debugger's steps, for «Processore», «Spiegazione»
// and «Fase»: the instruction at PC, before it runs, and the step that led
// where the session stands.
#include "debugger/session.hpp"
#include "machine/instruction_set.hpp"
#include "programs/web/wasm/debug.hpp"
#include "programs/web/wasm/reply.hpp"
#include "text/numbers.hpp"

#include <emscripten/emscripten.h>

#include <initializer_list>
#include <string>
#include <utility>

using namespace tarn::web;
using tarn::Byte;

namespace {

// The registers as the fetch leaves them: { registers, registersText } of
// PC, IR, A and B, as machineJson writes them.
json fetchedJson(const tarn::MachineState& before) {
    tarn::MachineState after = before;
    tarn::fetchInstruction(after);
    json registers = json::object(), texts = json::object();
    using Register = std::pair<const char*, Byte>;
    for (const auto& [name, value] :
         std::initializer_list<Register>{{"PC", after.PC}, {"IR", after.IR}, {"A", after.A}, {"B", after.B}}) {
        registers[name] = value;
        texts[name] = tarn::addressText(value);
    }
    return json{{"registers", std::move(registers)}, {"registersText", std::move(texts)}};
}

// The instruction at PC in `state`.
json explanationJson(const tarn::MachineState& state) {
    const Byte opcode = state.M[state.PC];
    const tarn::Instruction* instruction = tarn::findInstruction(opcode);
    const std::string mnemonic(instruction ? instruction->mnemonic : "NOP");
    const unsigned length = tarn::instructionLength(opcode);
    json phases = json::array();
    phases.push_back({{"name", "Prelievo"},
                      {"lines", json::array({"PC vale " + tarn::addressText(state.PC) + ": l'opcode " +
                                             tarn::addressText(opcode) + " va in IR."})},
                      {"reads", json::array()},
                      {"writes", json::array()}});
    phases.push_back({{"name", "Decodifica"},
                      {"lines", json::array({mnemonic + ", " + std::to_string(length) + " byte, unità " +
                                             std::string(tarn::unitName(tarn::unitByOpcode[opcode])) + "."})},
                      {"reads", json::array()},
                      {"writes", json::array()}});
    phases.push_back({{"name", "Esecuzione"},
                      {"lines", json::array({std::string(instruction ? instruction->meaning : "non fa nulla") + "."})},
                      {"reads", json::array()},
                      {"writes", json::array()}});
    return json{{"address", state.PC},
                {"opcode", opcode},
                {"mnemonic", mnemonic},
                {"length", length},
                {"unit", tarn::unitName(tarn::unitByOpcode[opcode])},
                {"x", state.X},
                {"effective", nullptr},
                {"fetched", fetchedJson(state)},
                {"phases", std::move(phases)}};
}

}  // namespace

extern "C" {

// { position, next, last }: next explains the instruction at PC, last the step that led here (null at
// position 0). An explanation is { address, opcode, mnemonic, length, unit,
// x, effective, fetched: { registers, registersText } (PC, IR, A and B as
// the fetch leaves them), phases: [{ name, lines, reads, writes }] }; a
// place read or written is { kind (register, memory, flag, input, output),
// name, address?, old?, new?, value? }.
EMSCRIPTEN_KEEPALIVE const char* tw_debug_explain() {
    const tarn::debugger::Session* session = debugSession();
    if (!session) return failure("Nessun programma nel debugger: avvialo prima.");
    const tarn::MachineState* previous = session->previous();
    return give(json{{"position", session->position()},
                     {"next", explanationJson(session->machine())},
                     {"last", previous ? explanationJson(*previous) : json(nullptr)}});
}

}  // extern "C"
