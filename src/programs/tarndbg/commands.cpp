// The commands of tarndbg's keys carried out on the session: steps, runs
// forwards and backwards, breakpoints and watched bytes, and the input line
// on which a word for INP is typed.
#include "programs/tarndbg/debugger_screen.hpp"

#include "debugger/forward_run.hpp"
#include "debugger/session_messages.hpp"

#include <curses.h>

#include <chrono>
#include <string>
#include <vector>

namespace tarn::dbg {

using debugger::ProgramLine;
using debugger::RunResult;
using debugger::StopReason;

namespace {

// The keys that the library's messages name.
debugger::CommandNames commandKeys() {
    return {keyName(Command::Continue), keyName(Command::StepBack), keyName(Command::Restart)};
}

}  // namespace

void Screen::openInput(Pending pending) {
    inputOpen_ = true;
    typed_.clear();
    pending_ = pending;
}

void Screen::closeInput() {
    inputOpen_ = false;
    pending_ = Pending::Nothing;
    typed_.clear();
}

void Screen::goOnAfterInput() {
    const Pending pending = pending_;
    closeInput();
    // A word that makes the INP write where it should not is said
    // before the INP runs: the next s or c runs it.
    if (session_.inputBringsWarning()) {
        message_ = withWarnings(debugger::describeStop(session_, {StopReason::Warning, 0, {}}), StopReason::Warning);
        return;
    }
    if (pending == Pending::Step || pending == Pending::PhaseStep) step(pending == Pending::PhaseStep);
    if (pending == Pending::Continue) runForward();
}

void Screen::giveWord() {
    if (!session_.giveInput(typed_)) {
        closeInput();
        message_ = debugger::TYPED_INPUT_FULL;
        return;
    }
    goOnAfterInput();
}

void Screen::endInput() {
    if (!typed_.empty()) return;
    session_.endInput();
    goOnAfterInput();
}

void Screen::cancelInput() {
    closeInput();
    message_ = "Nessuna parola data: la macchina resta dov'è.";
}

void Screen::eraseCharacter() {
    // A whole character: its continuation bytes with it.
    while (!typed_.empty() && (static_cast<unsigned char>(typed_.back()) & 0xC0u) == 0x80u) typed_.pop_back();
    if (!typed_.empty()) typed_.pop_back();
}

void Screen::typeCharacter(int key) {
    if (key >= 0 && key <= 255 && (key >= 0x20 && key != 0x7F) && typed_.size() < MAX_LINE_BYTES)
        typed_ += static_cast<char>(key);
}

void Screen::step(bool byPhase) {
    if (session_.halted()) {
        message_ = debugger::describeStepWhenHalted(session_, commandKeys());
        return;
    }
    if (session_.needsInput()) {
        message_ = debugger::describeStop(session_, {StopReason::NeedsInput, 0, {}});
        openInput(byPhase ? Pending::PhaseStep : Pending::Step);
        return;
    }
    const RunResult result = session_.runForward(1);
    forgetPhases();
    madeByPhase_ = byPhase ? std::optional(session_.position()) : std::nullopt;
    followNext();
    // Arriving at an INP that waits is no stop of its own: the next s asks
    // for the word (so that a key pressed again and again stays a command).
    message_ = withWarnings(debugger::describeStep(session_, result), result.reason);
}

void Screen::stepBack() {
    forgetPhases();
    if (!session_.stepBack()) {
        message_ = debugger::describeStepBack(session_, false);
        return;
    }
    followNext();
    message_ = withWarnings(debugger::describeStepBack(session_, true), StopReason::None);
}

void Screen::runForward() {
    forgetPhases();
    std::uint64_t steps = 0;
    auto lastDrawn = std::chrono::steady_clock::now();
    debugger::ForwardRun run(session_);
    for (;;) {
        const RunResult result = run.stretch(RUN_CHUNK);
        steps += result.steps;
        if (result.reason != StopReason::Budget) {
            finishRun(result);
            return;
        }
        timeout(0);
        const int key = getch();
        timeout(KEY_WAIT_MS);
        if (key == KEY_RESIZE) {
            draw();
            continue;
        }
        if (key != ERR) {
            followNext();
            message_ = debugger::describeInterrupted(steps);
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDrawn >= REDRAW_INTERVAL) {
            message_ = debugger::describeStop(session_, result) + " Un tasto qualsiasi interrompe.";
            followNext();
            draw();
            lastDrawn = now;
        }
    }
}

void Screen::finishRun(const RunResult& result) {
    followNext();
    message_ = withWarnings(debugger::describeStop(session_, result), result.reason);
    if (result.reason == StopReason::EndlessLoop) message_ += " r torna dove comincia.";
    if (result.reason == StopReason::NeedsInput) openInput(Pending::Continue);
}

void Screen::runBackward() {
    forgetPhases();
    // A long history takes a while to search: say so first.
    message_ = "Torno indietro: cerco il punto di arresto, l'osservazione o l'avviso precedente... "
               "Un tasto qualsiasi interrompe.";
    draw();
    // Any key gives the search up.
    const RunResult result = session_.runBackward([] {
        timeout(0);
        const int key = getch();
        timeout(KEY_WAIT_MS);
        return key == ERR || key == KEY_RESIZE;
    });
    followNext();
    message_ = withWarnings(debugger::describeStop(session_, result), result.reason);
}

void Screen::restart() {
    forgetPhases();
    session_.restart();
    followNext();
    message_ = withWarnings(debugger::describeRestart(), StopReason::None);
}

void Screen::toggleBreakpoint() {
    int address = gridCursor_;
    if (focus_ == Focus::Source) {
        const std::vector<ProgramLine>& lines = session_.program().lines;
        if (sourceCursor_ < 0 || sourceCursor_ >= static_cast<int>(lines.size()) ||
            !lines[static_cast<std::size_t>(sourceCursor_)].address) {
            message_ = debugger::LINE_WITHOUT_INSTRUCTIONS;
            return;
        }
        address = *lines[static_cast<std::size_t>(sourceCursor_)].address;
    }
    const Byte byte = static_cast<Byte>(address);
    session_.toggleBreakpoint(byte);
    message_ = debugger::describeBreakpoint(session_, byte);
}

void Screen::toggleWatchpoint() {
    const Byte byte = static_cast<Byte>(gridCursor_);
    session_.toggleWatchpoint(byte);
    message_ = debugger::describeWatch(session_, byte, commandKeys());
}

}  // namespace tarn::dbg
