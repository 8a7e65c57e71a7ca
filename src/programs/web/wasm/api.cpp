// The browser edition's entry points: the assembler, a run as tarnsim shows
// it, the debugger's session and the grader, for worker/worker.js.
//
// Every function takes its texts as pointer and length (UTF-8, in memory
// from tw_alloc) and returns a buffer that stays valid until the next call:
// JSON for results, raw bytes for what a run prints. tw_size() is the length
// of the last buffer returned. At most one run, one session and one exercise
// are held at a time; starting another replaces the one before.
#include "assembly/assembler.hpp"
#include "debugger/console_run.hpp"
#include "debugger/forward_run.hpp"
#include "debugger/program.hpp"
#include "debugger/proved_loop.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "debugger/wording.hpp"
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/report_text.hpp"
#include "grading/submission.hpp"
#include "machine/instruction_set.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <nlohmann/json.hpp>

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using json = nlohmann::ordered_json;
using tarn::Byte;
namespace debugger = tarn::debugger;
namespace grading = tarn::grading;

std::string returned;  // the buffer of the last call

const char* give(std::string text) {
    returned = std::move(text);
    return returned.c_str();
}

const char* give(const json& value) {
    // Texts that quote the user's bytes stay valid UTF-8.
    return give(value.dump(-1, ' ', false, json::error_handler_t::replace));
}

const char* failure(const std::string& error) {
    return give(json{{"ok", false}, {"error", error}});
}

std::string_view text(const char* data, std::size_t size) {
    return size == 0 ? std::string_view{} : std::string_view(data, size);
}

// Where each line of a source begins, and how far is it in characters
// (code points) and in UTF-16 units: the editor counts in the latter.
class SourcePositions {
public:
    explicit SourcePositions(std::string_view source) : source_(source) {
        lineStarts_.push_back(0);
        for (std::size_t i = 0; i < source.size(); ++i)
            if (source[i] == '\n') lineStarts_.push_back(i + 1);
    }

    // The byte offset of a line and column (both from 1, the column in
    // characters as the assembler counts them), kept within the line.
    std::size_t offsetOf(std::int64_t line, std::int64_t column) const {
        const std::size_t index = static_cast<std::size_t>(
            std::clamp<std::int64_t>(line, 1, static_cast<std::int64_t>(lineStarts_.size())) - 1);
        std::size_t offset = lineStarts_[index];
        for (std::int64_t at = 1; at < column && offset < source_.size() && source_[offset] != '\n'; ++at)
            offset += characterAt(offset);
        return offset;
    }

    std::size_t lineStartOf(std::size_t offset) const {
        const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
        return *(after - 1);
    }

    // One character from a byte offset: its length in bytes (an invalid
    // byte counts as one character of its own, as the editor's U+FFFD would).
    std::size_t characterAt(std::size_t offset) const {
        const tarn::Utf8Sequence sequence = tarn::utf8At(source_, offset);
        return sequence.length == 0 ? 1 : sequence.length;
    }

    std::size_t utf16Units(std::size_t offset) const {
        const tarn::Utf8Sequence sequence = tarn::utf8At(source_, offset);
        return sequence.length == 4 ? 2 : 1;
    }

    // Characters and UTF-16 units in [from, to).
    void count(std::size_t from, std::size_t to, std::size_t& characters, std::size_t& units) const {
        characters = units = 0;
        for (std::size_t i = from; i < to; i += characterAt(i)) {
            ++characters;
            units += utf16Units(i);
        }
    }

    bool wordByte(std::size_t offset) const {
        const auto c = static_cast<unsigned char>(source_[offset]);
        return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '_' || c == '.' || c == '$';
    }

    std::string_view source() const { return source_; }

private:
    std::string_view source_;
    std::vector<std::size_t> lineStarts_;
};

json diagnosticJson(const SourcePositions& positions, const tarn::Diagnostic& diagnostic) {
    const std::string_view source = positions.source();
    const std::size_t offset = positions.offsetOf(diagnostic.line, diagnostic.column);
    const std::size_t lineStart = positions.lineStartOf(offset);
    std::size_t characters = 0, units = 0;
    positions.count(lineStart, offset, characters, units);
    const std::size_t character = characters + 1;
    std::size_t fromByte = offset;
    // The word at the position, or one character; at the very end of the
    // source, the character before it.
    std::size_t toByte = offset;
    if (offset < source.size() && source[offset] != '\n' && source[offset] != '\r' && positions.wordByte(offset)) {
        while (toByte < source.size() && positions.wordByte(toByte)) toByte += positions.characterAt(toByte);
    } else if (offset < source.size()) {
        toByte = offset + positions.characterAt(offset);
    } else if (offset > 0) {
        fromByte = offset - 1;
        while (fromByte > 0 && (static_cast<unsigned char>(source[fromByte]) & 0xC0) == 0x80) --fromByte;
    }
    std::size_t ignored = 0, from = 0, to = 0;
    positions.count(0, fromByte, ignored, from);
    positions.count(0, std::min(toByte, source.size()), ignored, to);
    if (to <= from) to = from + 1;  // an empty source: the editor clamps it
    const bool error = diagnostic.severity == tarn::Severity::Error;
    const std::string severity = error ? "errore" : "avviso";
    return json{{"line", diagnostic.line},
                {"column", diagnostic.column},
                {"character", character},
                {"from", from},
                {"to", to},
                {"severity", severity},
                {"message", diagnostic.message},
                {"text", std::to_string(diagnostic.line) + ":" + std::to_string(character) + ": " + severity + ": " +
                             diagnostic.message}};
}

// The name the reports give a source: NAME.asm.
std::string sourceName(std::string_view name) {
    return std::string(name.empty() ? std::string_view{"programma"} : name) + ".asm";
}

// Assembles a source; the result gets its diagnostics, the lines that count
// the ones left out, and whether it failed.
tarn::Assembly assembleInto(json& result, std::string_view source, std::string_view name) {
    tarn::Assembly assembly = tarn::assemble(source);
    const SourcePositions positions(source);
    json diagnostics = json::array();
    for (const tarn::Diagnostic& diagnostic : assembly.diagnostics)
        diagnostics.push_back(diagnosticJson(positions, diagnostic));
    const std::vector<std::string> report = tarn::formatReport(sourceName(name), assembly);
    json omitted = json::array();
    for (std::size_t i = assembly.diagnostics.size(); i < report.size(); ++i) omitted.push_back(report[i]);
    result["diagnostics"] = std::move(diagnostics);
    result["omitted"] = std::move(omitted);
    result["failed"] = assembly.failed();
    return assembly;
}

std::optional<std::string> sourceTooLong(std::string_view source, std::string_view name) {
    if (source.size() <= tarn::MAX_SOURCE_BYTES) return std::nullopt;
    return "il sorgente '" + tarn::visibleName(sourceName(name)) + "' supera il limite di " +
           std::to_string(tarn::MAX_SOURCE_BYTES) + " byte";
}

// An input typed beforehand, without the line end that giving it adds.
std::string_view typedLines(std::string_view input) {
    if (!input.empty() && input.back() == '\n') input.remove_suffix(1);
    return input;
}

const std::string INPUT_TOO_LONG = "L'ingresso supera il limite di 1 MiB: non si può aggiungere altro.";

// Why a source and its input are refused before anything runs, if they are.
std::optional<std::string> refusal(std::string_view source, std::string_view name, std::string_view input,
                                   std::size_t inputLimit) {
    if (auto error = sourceTooLong(source, name)) return error;
    if (input.size() > inputLimit) return INPUT_TOO_LONG;
    return std::nullopt;
}
const std::string INPUT_ENDED = "L'ingresso è già stato chiuso: non si può aggiungere altro.";

// ---------------------------------------------------------------------------
// The run as tarnsim shows it

std::unique_ptr<debugger::ConsoleRun> consoleRun;

// A machine as the page's "Registri" and "Memoria" show it: the registers
// with their texts, the flags, the memory and its rows' characters.
json machineJson(const tarn::MachineState& m) {
    json registers = json::object(), registersText = json::object();
    using Register = std::pair<const char*, Byte>;
    for (const auto& [name, value] :
         std::initializer_list<Register>{{"PC", m.PC}, {"IR", m.IR}, {"A", m.A}, {"B", m.B}, {"X", m.X}}) {
        registers[name] = value;
        registersText[name] = tarn::addressText(value);
    }
    json flags = json::object();
    for (const grading::FlagName& flag : grading::FLAG_NAMES)
        flags[std::string(1, flag.letter)] = (m.F & flag.bit) ? 1 : 0;
    json memory = json::array();
    std::string characters;
    for (const Byte byte : m.M) {
        memory.push_back(byte);
        characters += tarn::rowCharacter(byte);
    }
    return json{{"registers", std::move(registers)},
                {"registersText", std::move(registersText)},
                {"flags", std::move(flags)},
                {"memory", std::move(memory)},
                {"characters", std::move(characters)}};
}

// After "Ferma": the search for the endless loop the run was in, from where
// it stopped, and the run's program, whose lines name the loop's.
std::unique_ptr<debugger::RunLoopSearch> runLoop;
std::optional<debugger::Program> runProgram;

// ---------------------------------------------------------------------------
// The debugger

std::unique_ptr<debugger::Session> session;
std::string lastMessage;

// The forward run of the page's "Continua", whose stretches are the
// successive "continue" calls: it lives until one of them is done, another
// command comes or the session goes (it holds the session, so it goes first).
std::optional<debugger::ForwardRun> forwardRun;

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

json optionalNumber(const std::optional<unsigned>& value) {
    return value ? json(*value) : json(nullptr);
}

json viewJson() {
    const debugger::Session& s = *session;
    const tarn::MachineState& m = s.machine();
    const debugger::NextAccess next = s.nextAccess();
    json memory = json::array(), changed = json::array(), breakpoints = json::array(), watchpoints = json::array();
    std::set<std::int64_t> breakpointLines;
    std::string characters;
    for (unsigned address = 0; address < 256; ++address) {
        memory.push_back(m.M[address]);
        characters += tarn::rowCharacter(m.M[address]);
        const Byte byte = static_cast<Byte>(address);
        if (s.changedByLastStep(byte)) changed.push_back(address);
        if (s.breakpoint(byte)) {
            breakpoints.push_back(address);
            if (const debugger::ProgramLine* line = s.program().lineAt(address)) breakpointLines.insert(line->number);
        }
        if (s.watchpoint(byte)) watchpoints.push_back(address);
    }
    json flags;
    for (const grading::FlagName& flag : grading::FLAG_NAMES)
        flags[std::string(1, flag.letter)] = (m.F & flag.bit) ? 1 : 0;
    json warnings = json::array();
    for (const debugger::Warning& warning : s.warnings()) warnings.push_back(warning.text);
    const int lineIndex = s.currentLine();
    return json{
        {"position", s.position()},
        {"furthest", s.furthest()},
        {"halted", s.halted()},
        {"needsInput", s.needsInput()},
        {"registers", {{"PC", m.PC}, {"IR", m.IR}, {"A", m.A}, {"B", m.B}, {"X", m.X}}},
        {"registersText",
         {{"PC", tarn::addressText(m.PC)},
          {"IR", tarn::addressText(m.IR)},
          {"A", tarn::addressText(m.A)},
          {"B", tarn::addressText(m.B)},
          {"X", tarn::addressText(m.X)}}},
        {"flags", flags},
        {"memory", std::move(memory)},
        {"characters", std::move(characters)},
        {"changed", std::move(changed)},
        {"effective", optionalNumber(next.effective)},
        {"atB", next.atB ? json(*next.atB) : json(nullptr)},
        {"fromA", next.fromA ? json(*next.fromA) : json(nullptr)},
        {"line", lineIndex >= 0 ? json(s.program().lines[static_cast<std::size_t>(lineIndex)].number) : json(nullptr)},
        {"message", lastMessage},
        {"warnings", std::move(warnings)},
        {"breakpoints", std::move(breakpoints)},
        {"watchpoints", std::move(watchpoints)},
        {"breakpointLines", breakpointLines},
        {"loop", loopJson(s)},
        {"outputLength", s.output().size()},
        {"outputCut", s.outputCut()},
    };
}

const char* giveView(json extra = json::object()) {
    extra["view"] = viewJson();
    return give(extra);
}

// ---------------------------------------------------------------------------
// Exercises

std::optional<grading::Exercise> exercise;
std::string exerciseName;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void* tw_alloc(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

EMSCRIPTEN_KEEPALIVE void tw_free(void* pointer) {
    std::free(pointer);
}

EMSCRIPTEN_KEEPALIVE std::size_t tw_size() {
    return returned.size();
}

// { mnemonics, directives, numbers }: numbers is how the page writes each
// of the 256 values, as the libraries do: addresses ("0x1F (31)"), bytes
// ("0x6F (111, 'o')") and the characters of a memory row ("o", ".").
EMSCRIPTEN_KEEPALIVE const char* tw_init() {
    json mnemonics = json::array();
    for (const tarn::Instruction& instruction : tarn::instructionTable) mnemonics.push_back(instruction.mnemonic);
    json directives = json::array();
    for (std::string_view directive : tarn::DIRECTIVES) directives.push_back(directive);
    json addresses = json::array(), bytes = json::array();
    std::string characters;
    for (unsigned value = 0; value < 256; ++value) {
        addresses.push_back(tarn::addressText(value));
        bytes.push_back(tarn::byteText(static_cast<std::uint8_t>(value)));
        characters += tarn::rowCharacter(static_cast<std::uint8_t>(value));
    }
    return give(json{{"mnemonics", std::move(mnemonics)},
                     {"directives", std::move(directives)},
                     {"numbers", {{"addresses", std::move(addresses)},
                                  {"bytes", std::move(bytes)},
                                  {"characters", std::move(characters)}}}});
}

// { diagnostics, omitted, failed, image, lines }
EMSCRIPTEN_KEEPALIVE const char* tw_assemble(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                             std::size_t nameSize) {
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    if (const auto error = sourceTooLong(source, name)) return failure(*error);
    json result = json::object();
    const tarn::Assembly assembly = assembleInto(result, source, name);
    json lines = json::array();
    for (const tarn::ListingEntry& entry : assembly.listing)
        if (!entry.bytes.empty())
            lines.push_back({{"number", entry.line}, {"address", entry.address}, {"data", entry.data}});
    result["image"] = assembly.failed() ? json(nullptr) : json(assembly.image);
    result["lines"] = std::move(lines);
    return give(result);
}

// Assembles and starts a run: { failed, diagnostics, omitted }.
EMSCRIPTEN_KEEPALIVE const char* tw_run_start(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                              std::size_t nameSize, const char* inputData, std::size_t inputSize) {
    consoleRun.reset();
    runLoop.reset();
    runProgram.reset();
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    const std::string_view input = text(inputData, inputSize);
    json result = json::object();
    if (const auto error = refusal(source, name, input, debugger::MAX_PENDING_INPUT)) return failure(*error);
    const tarn::Assembly assembly = assembleInto(result, source, name);
    if (!assembly.failed()) {
        const std::string shown = std::string(name.empty() ? std::string_view{"programma"} : name) + ".bin";
        consoleRun = std::make_unique<debugger::ConsoleRun>(assembly.image, shown, input);
        runProgram = debugger::programFromAssembly(sourceName(name), source, assembly);
    }
    return give(result);
}

// Runs a slice of at most budget instructions: the state after it,
// 0 running, 1 trace, 2 input, 3 halted; -1 without a run.
EMSCRIPTEN_KEEPALIVE int tw_run_slice(double budget) {
    if (!consoleRun) return -1;
    return static_cast<int>(consoleRun->runSlice(budget < 1 ? 1 : static_cast<std::uint64_t>(budget)));
}

EMSCRIPTEN_KEEPALIVE double tw_run_executed() {
    return consoleRun ? static_cast<double>(consoleRun->executed()) : 0;
}

// The bytes of standard output, and those WRT printed, since the last take.
EMSCRIPTEN_KEEPALIVE const char* tw_run_take_console() {
    return give(consoleRun ? consoleRun->takeConsole() : std::string());
}

EMSCRIPTEN_KEEPALIVE const char* tw_run_take_output() {
    return give(consoleRun ? consoleRun->takeOutput() : std::string());
}

// The machine of the run, as its record: F, the 256 bytes of memory, PC, IR, A, B, X.
EMSCRIPTEN_KEEPALIVE const char* tw_run_machine() {
    if (!consoleRun) return give(std::string());
    const tarn::MachineState& machine = consoleRun->machine();
    return give(std::string(reinterpret_cast<const char*>(&machine), sizeof machine));
}

// The machine of the run as the page shows it (see machineJson); null without a run.
EMSCRIPTEN_KEEPALIVE const char* tw_run_view() {
    return give(consoleRun ? machineJson(consoleRun->machine()) : json(nullptr));
}

EMSCRIPTEN_KEEPALIVE void tw_run_key() {
    if (consoleRun) consoleRun->pressKey();
}

// "" when the line was taken, else why not.
EMSCRIPTEN_KEEPALIVE const char* tw_run_word(const char* data, std::size_t size) {
    if (!consoleRun) return give(std::string("Nessun programma in esecuzione."));
    if (consoleRun->inputEnded()) return give(INPUT_ENDED);
    return give(consoleRun->giveInput(text(data, size)) ? std::string() : INPUT_TOO_LONG);
}

EMSCRIPTEN_KEEPALIVE void tw_run_end_input() {
    if (consoleRun) consoleRun->endInput();
}

EMSCRIPTEN_KEEPALIVE void tw_run_close() {
    consoleRun.reset();
}

// Before the run is closed by "Ferma": starts the search for the endless
// loop it was in, from where it stands; 1 when it started, 0 when the run
// was waiting for a key or a word, or had ended.
EMSCRIPTEN_KEEPALIVE int tw_run_loop_start() {
    runLoop.reset();
    if (!consoleRun || !runProgram || !debugger::RunLoopSearch::canStart(*consoleRun)) return 0;
    runLoop = std::make_unique<debugger::RunLoopSearch>(*consoleRun);
    return 1;
}

// A slice of at most budget instructions of that search: { done: false },
// or { done: true, loop, message }, loop being { start, length, lines } and
// message what the debugger's "Continua" says of it, or null and "" when
// none was proved (the run would stop, or wait for a word, or the search
// gave up).
EMSCRIPTEN_KEEPALIVE const char* tw_run_loop_slice(double budget) {
    if (runLoop && !runLoop->done())
        runLoop->advance(budget >= 1e12 ? std::uint64_t{1'000'000'000'000}
                         : budget >= 1  ? static_cast<std::uint64_t>(budget)
                                        : std::uint64_t{1});
    if (runLoop && !runLoop->done()) return give(json{{"done", false}});
    const tarn::LoopSearch found = runLoop ? runLoop->result() : tarn::LoopSearch{};
    runLoop.reset();
    if (!found.loop || !runProgram) return give(json{{"done", true}, {"loop", nullptr}, {"message", ""}});
    const debugger::ProvedLoop loop = debugger::provedLoop(*found.loop, 0, *runProgram);
    return give(json{{"done", true},
                     {"loop",
                      {{"start", loop.start}, {"length", loop.length}, {"lines", debugger::loopLineNumbers(*runProgram, loop)}}},
                     {"message", debugger::describeEndlessLoopStop(*runProgram, loop)}});
}

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
// { ok: false, error }. The view's message says what the command did, in the
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
        const debugger::RunResult result = forwardRun->stretch(number >= 1 ? static_cast<std::uint64_t>(number) : 1);
        const bool done = result.reason != debugger::StopReason::Budget;
        if (done) forwardRun.reset();
        lastMessage = stopMessage(result);
        return giveView(json{{"done", done}, {"steps", result.steps}});
    } else if (op == "interrupted") {
        lastMessage = debugger::describeInterrupted(number >= 1 ? static_cast<std::uint64_t>(number) : 0);
    } else if (op == "reverse") {
        lastMessage = stopMessage(session->runBackward());
    } else if (op == "restart") {
        session->restart();
        lastMessage = debugger::describeRestart();
    } else if (op == "goto") {
        if (!(number >= 0)) return failure("Posizione non valida.");
        session->goTo(number >= 1.8e19 ? UINT64_MAX : static_cast<std::uint64_t>(number));
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

// Reads an exercise and keeps it for tw_verify: { title, cases, hidden,
// total }, the cases being the visible ones, or { ok: false, error }.
EMSCRIPTEN_KEEPALIVE const char* tw_exercise(const char* textData, std::size_t textSize, const char* nameData,
                                             std::size_t nameSize) {
    exercise.reset();
    const std::string_view contents = text(textData, textSize);
    exerciseName = tarn::visibleName(text(nameData, nameSize));
    if (contents.size() > grading::MAX_EXERCISE_BYTES)
        return failure("l'esercizio '" + exerciseName + "' supera il limite di " +
                       std::to_string(grading::MAX_EXERCISE_BYTES) + " byte");
    grading::ExerciseParse parse = grading::parseExercise(contents);
    if (!parse.exercise) {
        // Every fault of the file, one a line, as tarngrade lists them.
        std::string errors;
        for (const std::string& line : grading::formatExerciseErrors(exerciseName, parse))
            errors += (errors.empty() ? "" : "\n") + line;
        return failure(errors);
    }
    exercise = std::move(parse.exercise);
    json cases = json::array();
    std::size_t hidden = 0;
    for (const grading::TestCase& testCase : exercise->cases) {
        if (testCase.hidden) {
            ++hidden;
            continue;
        }
        cases.push_back({{"name", testCase.name}, {"hidden", false}, {"points", testCase.points}});
    }
    return give(json{{"title", exercise->title},
                     {"cases", std::move(cases)},
                     {"hidden", hidden},
                     {"total", exercise->totalPoints()}});
}

// Grades a source on the visible cases of the exercise read last, as
// tarngrade does: { failed: true, diagnostics, omitted } when it does not
// assemble, else { failed: false, results, hidden, points, total }. The
// hidden cases are not run.
EMSCRIPTEN_KEEPALIVE const char* tw_verify(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                           std::size_t nameSize) {
    if (!exercise) return failure("Nessun esercizio caricato.");
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    if (const auto error = sourceTooLong(source, name)) return failure(*error);
    json result = json::object();
    const tarn::Assembly assembly = assembleInto(result, source, name);
    if (assembly.failed()) return give(result);

    grading::SubmissionResult graded;
    graded.submission.argument = graded.submission.program = sourceName(name);
    graded.submission.student = std::string(name.empty() ? std::string_view{"programma"} : name);
    graded.submission.kind = grading::ProgramKind::Source;
    // An empty program is not run, as tarngrade does not run an empty file.
    if (source.empty()) graded.submission.problems.emplace_back(grading::EMPTY_FILE);
    else grading::assembleSubmission(graded.submission, source);
    grading::checkMaximumSize(graded.submission, *exercise);
    graded.cases.resize(exercise->cases.size());
    json results = json::array();
    std::size_t hidden = 0;
    for (std::size_t index = 0; index < exercise->cases.size(); ++index) {
        const grading::TestCase& testCase = exercise->cases[index];
        if (testCase.hidden) {
            ++hidden;
            continue;
        }
        if (graded.submission.runnable())
            graded.cases[index] = grading::runCase(*exercise, testCase, graded.submission.image).result;
        graded.points += graded.cases[index].points;
    }
    for (std::size_t index = 0; index < exercise->cases.size(); ++index) {
        const grading::TestCase& testCase = exercise->cases[index];
        if (testCase.hidden) continue;
        const grading::CaseResult& caseResult = graded.cases[index];
        results.push_back({{"name", testCase.name},
                           {"passed", caseResult.passed},
                           {"points", caseResult.points},
                           {"maxPoints", testCase.points},
                           {"details", caseResult.passed ? std::string()
                                                         : grading::formatCaseDetails(*exercise, exerciseName, graded, index,
                                                                                      grading::ReportStyle{false, false})}});
    }
    result["results"] = std::move(results);
    result["hidden"] = hidden;
    result["points"] = graded.points;
    result["total"] = exercise->totalPoints();
    return give(result);
}

}  // extern "C"
