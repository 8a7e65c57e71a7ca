// The explanation of the debugger's steps, for «Processore», «Spiegazione»
// and «Fase»: the instruction at PC, before it runs, and the step that led
// where the session stands, as the library explains them.
#include "debugger/session.hpp"
#include "debugger/step_explanation_text.hpp"
#include "machine/instruction_set.hpp"
#include "machine/step_explanation.hpp"
#include "programs/web/wasm/debug.hpp"
#include "programs/web/wasm/reply.hpp"
#include "text/numbers.hpp"

#include <emscripten/emscripten.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A byte read or written: { kind, name, address, old, new } for a write,
// { kind, name, address, value } for a read.
json placeJson(const tarn::ByteAccess& access) {
    using Kind = tarn::ByteLocation::Kind;
    const tarn::ByteLocation& where = access.location;
    json place = json::object();
    switch (where.kind) {
        case Kind::Memory:
            place["kind"] = "memory";
            place["name"] = tarn::hexAddress(static_cast<Byte>(where.address));
            break;
        case Kind::Register:
        case Kind::Flags:
            place["kind"] = where.kind == Kind::Flags ? "flag" : "register";
            place["name"] = tarn::registerName(where);
            break;
        case Kind::Outside:
            place["kind"] = "outside";
            place["name"] = std::to_string(where.address);
            break;
    }
    place["address"] = where.address;
    if (access.write) {
        place["old"] = access.before;
        place["new"] = access.value;
    } else {
        place["value"] = access.value;
    }
    return place;
}

// The places a phase reads and writes, each list in the machine's order.
std::pair<json, json> placesJson(const std::vector<tarn::ByteAccess>& accesses) {
    json reads = json::array(), writes = json::array();
    for (const tarn::ByteAccess& access : accesses) (access.write ? writes : reads).push_back(placeJson(access));
    return {std::move(reads), std::move(writes)};
}

// The lines of a phase's text.
json linesJson(std::string_view text) {
    json lines = json::array();
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The step the machine makes from `state`, with `input` still unread.
json explanationJson(const tarn::MachineState& state, std::string_view input) {
    const tarn::StepExplanation explained = tarn::explainStep(state, input);
    const tarn::ExecutePhase& execute = explained.execute;
    json phases = json::array();
    for (const tarn::debugger::PhaseText& phase : tarn::debugger::explanationText(explained)) {
        const std::vector<tarn::ByteAccess>& accesses = phase.phase == tarn::StepPhase::Fetch    ? explained.fetch.accesses
                                                        : phase.phase == tarn::StepPhase::Decode ? explained.decode.accesses
                                                                                                 : execute.accesses;
        auto [reads, writes] = placesJson(accesses);
        if (phase.phase == tarn::StepPhase::Execute && execute.action == tarn::StepAction::Output)
            writes.push_back({{"kind", "output"}, {"name", "console"}, {"value", execute.output}});
        if (phase.phase == tarn::StepPhase::Execute && execute.action == tarn::StepAction::Input && execute.word.found)
            reads.push_back({{"kind", "input"}, {"name", "console"}, {"value", execute.word.text}});
        phases.push_back({{"name", phase.title},
                          {"lines", linesJson(phase.text)},
                          {"reads", std::move(reads)},
                          {"writes", std::move(writes)}});
    }
    return json{{"address", explained.fetch.pc},
                {"opcode", explained.fetch.opcode},
                {"mnemonic", explained.decode.mnemonic},
                {"length", explained.fetch.length},
                {"unit", tarn::unitName(explained.decode.unit)},
                {"x", state.X},
                {"effective", execute.effective ? json(execute.effective->address) : json(nullptr)},
                {"fetched", fetchedJson(state)},
                {"phases", std::move(phases)}};
}

}  // namespace

extern "C" {

// { position, next, last }: next explains the instruction at PC, before it
// runs (at opcode 0, that the machine stops there), last the step that led
// here, from the machine and the input as they were before it (null at
// position 0). An explanation is { address, opcode, mnemonic, length,
// unit, x, effective (A + X, 0..510, or null), fetched: { registers,
// registersText } (PC, IR, A and B as the fetch leaves them), phases:
// [{ name, lines, reads, writes }] }, the phases "Prelievo", "Decodifica"
// and "Esecuzione"; a place read or written is { kind (memory, register,
// flag, outside, input, output), name, address, old and new, or value }.
EMSCRIPTEN_KEEPALIVE const char* tw_debug_explain() {
    const tarn::debugger::Session* session = debugSession();
    if (!session) return failure("Nessun programma nel debugger: avvialo prima.");
    const tarn::MachineState* previous = session->previous();
    return give(json{
        {"position", session->position()},
        {"next", explanationJson(session->machine(), session->pendingInput())},
        {"last", previous ? explanationJson(*previous, session->inputBeforeLastStep()) : json(nullptr)}});
}

}  // extern "C"
