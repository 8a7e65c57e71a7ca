// The run of "Esegui", as tarnsim shows it, a slice at a time; after
// "Ferma", the search for the endless loop it was in.
#include "debugger/console_run.hpp"
#include "debugger/program.hpp"
#include "debugger/proved_loop.hpp"
#include "programs/web/wasm/machine_view.hpp"
#include "programs/web/wasm/reply.hpp"
#include "programs/web/wasm/source.hpp"

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using namespace tarn::web;
namespace debugger = tarn::debugger;

namespace {

std::unique_ptr<debugger::ConsoleRun> consoleRun;

// After "Ferma": the search for the endless loop the run was in, from where
// it stopped, and the run's program, whose lines name the loop's.
std::unique_ptr<debugger::RunLoopSearch> runLoop;
std::optional<debugger::Program> runProgram;

}  // namespace

extern "C" {

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
        consoleRun = std::make_unique<debugger::ConsoleRun>(assembly.image, programName(name) + ".bin", input);
        runProgram = debugger::programFromAssembly(sourceName(name), source, assembly);
    }
    return give(result);
}

// Runs a slice of at most budget instructions: the state after it,
// 0 running, 1 trace, 2 input, 3 halted; -1 without a run.
EMSCRIPTEN_KEEPALIVE int tw_run_slice(double budget) {
    if (!consoleRun) return -1;
    return static_cast<int>(consoleRun->runSlice(countFrom(budget, 1)));
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
    if (runLoop && !runLoop->done()) runLoop->advance(countFrom(budget, 1, 1'000'000'000'000));
    if (runLoop && !runLoop->done()) return give(json{{"done", false}});
    const tarn::LoopSearch found = runLoop ? runLoop->result() : tarn::LoopSearch{};
    runLoop.reset();
    if (!found.loop || !runProgram) return give(json{{"done", true}, {"loop", nullptr}, {"message", ""}});
    const debugger::ProvedLoop loop = debugger::provedLoop(*found.loop, *runProgram);
    return give(json{{"done", true},
                     {"loop",
                      {{"start", loop.start}, {"length", loop.length}, {"lines", debugger::loopLineNumbers(*runProgram, loop)}}},
                     {"message", debugger::describeEndlessLoopStop(*runProgram, loop)}});
}

}  // extern "C"
