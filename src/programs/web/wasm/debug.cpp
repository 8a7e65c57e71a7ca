// The debugger's session of the page: its commands, by name, and the view
// that every one of them gives back.
#include "debugger/forward_run.hpp"
#include "debugger/program.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "debugger/wording.hpp"
#include "programs/web/wasm/debug.hpp"
#include "programs/web/wasm/machine_view.hpp"
#include "programs/web/wasm/reply.hpp"
#include "programs/web/wasm/source.hpp"
#include "text/numbers.hpp"

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

using namespace tarn::web;
using tarn::Byte;
namespace debugger = tarn::debugger;

namespace {

std::unique_ptr<debugger::Session> session;
std::string lastMessage;

// The forward run of the page's "Continua", whose stretches are the
// successive "continue" calls: it lives until one of them is done, another
// command comes or the session goes (it holds the session, so it goes first).
std::optional<debugger::ForwardRun> forwardRun;

// The most steps one request of «Anima» makes: a second's worth at its
// fastest.
constexpr std::uint64_t MOST_ANIMATED_STEPS = 1000;

void closeSession() {
    forwardRun.reset();
    session.reset();
}

// The page's buttons, where a message names a command.
constexpr debugger::CommandNames BUTTONS{"«Continua»", "«Indietro»", "«Ricomincia»"};
constexpr std::string_view REVERSE_BUTTON = "«Ritorna»";

// What a forward run's stop says; at an endless loop, how to go back to
// where it begins.
std::string stopMessage(const debugger::RunResult& result) {
    std::string text = debugger::describeStop(*session, result);
    if (result.reason == debugger::StopReason::EndlessLoop)
        text += " " + std::string(REVERSE_BUTTON) + " torna dove comincia.";
    return text;
}

// The proved endless loop: where it starts, how long a round is, the
// numbers of the lines of its instructions, and those of its instructions
// that the program rewrote, each with its line (null: none placed it) and
// the instruction that runs there; null before one is proved.
json loopJson(const debugger::Session& s) {
    const std::optional<debugger::ProvedLoop>& loop = s.endlessLoop();
    if (!loop) return nullptr;
    json rewritten = json::array();
    for (const tarn::RanInstruction& ran : loop->rewritten) {
        const debugger::ProgramLine* line = s.program().lineAt(ran.address);
        rewritten.push_back({{"line", line ? json(line->number) : json(nullptr)},
                             {"text", debugger::rewrittenInstructionText(s.program(), ran)}});
    }
    return json{{"start", loop->start},
                {"length", loop->length},
                {"lines", debugger::loopLineNumbers(s)},
                {"rewritten", std::move(rewritten)}};
}

template <typename T>
json optionalJson(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

// The session where it stands: its position, the machine (see machineJson),
// what the last step changed and the next one uses, the message and the
// warnings, the breakpoints and watched bytes, the loop and the output.
json viewJson() {
    const debugger::Session& s = *session;
    const debugger::NextAccess next = s.nextAccess();
    json view{
        {"position", s.position()},
        {"furthest", s.furthest()},
        {"halted", s.halted()},
        {"needsInput", s.needsInput()},
    };
    view.update(machineJson(s.machine()));
    json changed = json::array(), breakpoints = json::array(), watchpoints = json::array();
    std::set<std::int64_t> breakpointLines;
    for (unsigned address = 0; address < 256; ++address) {
        const Byte byte = static_cast<Byte>(address);
        if (s.changedByLastStep(byte)) changed.push_back(address);
        if (s.breakpoint(byte)) {
            breakpoints.push_back(address);
            if (const debugger::ProgramLine* line = s.program().lineAt(address)) breakpointLines.insert(line->number);
        }
        if (s.watchpoint(byte)) watchpoints.push_back(address);
    }
    json warnings = json::array();
    for (const debugger::Warning& warning : s.warnings()) warnings.push_back(warning.text);
    const int lineIndex = s.currentLine();
    view["changed"] = std::move(changed);
    view["effective"] = optionalJson(next.effective);
    view["atB"] = optionalJson(next.atB);
    view["fromA"] = optionalJson(next.fromA);
    view["line"] = lineIndex >= 0 ? json(s.program().lines[static_cast<std::size_t>(lineIndex)].number) : json(nullptr);
    view["message"] = lastMessage;
    view["warnings"] = std::move(warnings);
    view["breakpoints"] = std::move(breakpoints);
    view["watchpoints"] = std::move(watchpoints);
    view["breakpointLines"] = breakpointLines;
    view["loop"] = loopJson(s);
    view["outputLength"] = s.output().size();
    view["outputCut"] = s.outputCut();
    return view;
}

const char* giveView(json extra = json::object()) {
    extra["view"] = viewJson();
    return give(extra);
}

}  // namespace

const debugger::Session* tarn::web::debugSession() {
    return session.get();
}

extern "C" {

// Assembles and opens a session: { failed, diagnostics, omitted } or
// { failed: false, lines, view }.
EMSCRIPTEN_KEEPALIVE const char* tw_debug_start(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                                std::size_t nameSize, const char* inputData, std::size_t inputSize) {
    closeSession();
    lastMessage.clear();
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    const std::string_view input = text(inputData, inputSize);
    json result = json::object();
    if (const auto error = refusal(source, name, input, debugger::MAX_TYPED_INPUT)) return failure(*error);
    const tarn::Assembly assembly = assembleInto(result, source, name);
    if (assembly.failed()) return give(result);
    debugger::Program program = debugger::programFromAssembly(sourceName(name), source, assembly);
    json lines = json::array();
    for (const debugger::ProgramLine& line : program.lines)
        lines.push_back({{"number", line.number},
                         {"text", line.text},
                         {"address", line.address ? json(*line.address) : json(nullptr)},
                         {"hex", line.address ? json(tarn::hexDigits(*line.address)) : json(nullptr)},
                         {"data", line.data}});
    session = std::make_unique<debugger::Session>(std::move(program), std::nullopt);
    if (!input.empty() && !session->giveInput(typedLines(input))) {
        closeSession();
        return failure(INPUT_TOO_LONG);
    }
    result["lines"] = std::move(lines);
    return giveView(std::move(result));
}

// One command of the session, by name, with its number or text: { view },
// { text, view } for whoWrote, { done, steps, view } for continue (done
// false: call again to go on: the calls until done are one run, which
// proves an endless loop), { warning, view } for word (warning true: the
// word brings a warning, which the message says, and the step or continue
// the word was given for must not go on: the next one runs the INP), or
// { ok: false, error }; { stopped, view } for animate (number: how many
// steps at most; stopped: something other than the count ended them, which
// the message says). The view's message says what the command did, in the
// library's words; "interrupted" (number: the instructions run) tells that
// the user stopped a continue.
EMSCRIPTEN_KEEPALIVE const char* tw_debug(const char* opData, std::size_t opSize, double number,
                                          const char* textData, std::size_t textSize) {
    if (!session) return failure("Nessun programma nel debugger: avvialo prima.");
    const std::string_view op = text(opData, opSize);
    const bool inRange = number >= 0 && number <= 255;
    const Byte address = inRange ? static_cast<Byte>(number) : Byte{0};
    lastMessage.clear();
    if (op != "continue") forwardRun.reset();
    if (op == "step") {
        if (session->halted())
            lastMessage = debugger::describeStepWhenHalted(*session, BUTTONS);
        else if (session->needsInput())
            lastMessage = debugger::describeStop(*session, {debugger::StopReason::NeedsInput, 0, {}});
        else
            lastMessage = debugger::describeStep(*session, session->runForward(1));
    } else if (op == "back") {
        const bool wentBack = session->stepBack();
        lastMessage = debugger::describeStepBack(*session, wentBack);
    } else if (op == "continue") {
        if (!forwardRun) forwardRun.emplace(*session);
        const debugger::RunResult result = forwardRun->stretch(countFrom(number, 1));
        const bool done = result.reason != debugger::StopReason::Budget;
        if (done) forwardRun.reset();
        lastMessage = stopMessage(result);
        return giveView(json{{"done", done}, {"steps", result.steps}});
    } else if (op == "animate") {
        const debugger::RunResult result = session->runForward(countFrom(number, 1, MOST_ANIMATED_STEPS));
        const bool stopped = result.reason != debugger::StopReason::Budget;
        if (stopped) lastMessage = debugger::describeStop(*session, result);
        return giveView(json{{"stopped", stopped}});
    } else if (op == "interrupted") {
        lastMessage = debugger::describeInterrupted(countFrom(number, 0));
    } else if (op == "reverse") {
        lastMessage = stopMessage(session->runBackward());
    } else if (op == "restart") {
        session->restart();
        lastMessage = debugger::describeRestart();
    } else if (op == "goto") {
        if (!(number >= 0)) return failure("Posizione non valida.");
        session->goTo(countFrom(number, 0));
    } else if (op == "breakpoint" || op == "watch" || op == "whoWrote") {
        if (!inRange || number != static_cast<double>(address)) return failure("Indirizzo non valido: va da 0 a 255.");
        if (op == "breakpoint") {
            session->toggleBreakpoint(address);
            lastMessage = debugger::describeBreakpoint(*session, address);
        } else if (op == "watch") {
            session->toggleWatchpoint(address);
            lastMessage = debugger::describeWatch(*session, address, BUTTONS);
        } else {
            lastMessage = debugger::describeLastWrite(*session, address);
            return giveView(json{{"text", lastMessage}});
        }
    } else if (op == "breakpointLine") {
        const debugger::ProgramLine* found = nullptr;
        for (const debugger::ProgramLine& line : session->program().lines)
            if (static_cast<double>(line.number) == number) found = &line;
        if (!found || !found->address) return failure(std::string(debugger::LINE_WITHOUT_INSTRUCTIONS));
        session->toggleBreakpoint(*found->address);
        lastMessage = debugger::describeBreakpoint(*session, *found->address);
    } else if (op == "word") {
        if (session->inputEnded()) return failure(INPUT_ENDED);
        const bool waited = session->needsInput();
        if (!session->giveInput(text(textData, textSize))) return failure(std::string(debugger::TYPED_INPUT_FULL));
        // Given to an INP that waited, the word may make it write where it
        // should not: that is said before the INP runs.
        const bool warning = waited && session->inputBringsWarning();
        if (warning) lastMessage = debugger::describeStop(*session, {debugger::StopReason::Warning, 0, {}});
        return giveView(json{{"warning", warning}});
    } else if (op == "endInput") {
        session->endInput();
    } else if (op != "view") {
        return failure("Comando sconosciuto.");
    }
    return giveView();
}

// What the session's program printed, as kept up to where it stands, from
// the byte at from on (nothing without a session). What it printed is the
// same at every visit of a position: a page that keeps the bytes it was
// given needs only those beyond.
EMSCRIPTEN_KEEPALIVE const char* tw_debug_output(double from) {
    if (!session) return give(std::string());
    const std::string_view output = session->output();
    const std::size_t start =
        from >= static_cast<double>(output.size()) ? output.size() : from >= 1 ? static_cast<std::size_t>(from) : 0;
    return give(std::string(output.substr(start)));
}

EMSCRIPTEN_KEEPALIVE void tw_debug_close() {
    closeSession();
}

}  // extern "C"
