// What a debugging session says, in Italian, in its message line: where a
// run stopped and why, what a step or a command did, and who wrote a byte
// last. tarndbg and the page's debugger say the same, naming their own keys
// or buttons.
#pragma once

#include "debugger/session.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

// The message line for the end of a run, in Italian: where it stopped and why.
std::string describeStop(const Session& session, const RunResult& result);

// "che cosa ha scritto per ultimo" the byte at address: the instruction's
// address, its source line and the step, or that no instruction wrote it.
// On a byte of the program's instructions, also the instructions whose
// writes there pass by now (see Session::passingWritersOf).
std::string describeLastWrite(const Session& session, Byte address);

// The numbers of the lines of the session's proved loop, in order.
std::vector<std::int64_t> loopLineNumbers(const Session& session);

// The lines of the session's proved loop, as "righe 7-9 e 12".
std::string describeLoopLines(const Session& session);

// The next instruction, when the program rewrote it: "La prossima
// istruzione, alla riga 3, è JMP p (riscritta dal programma)."; empty
// otherwise.
std::string describeRewrittenNext(const Session& session);

// What the user gives a command with, where a message says what to do next:
// a key in tarndbg, a button on the page.
struct CommandNames {
    std::string_view forward;   // runs on to the next stop
    std::string_view back;      // undoes one step
    std::string_view restart;   // goes back to the start
};

// What one step did, from runForward(1): "Eseguito il passo N." when nothing
// stopped it (arriving at an INP that waits included: the next step asks for
// the word), else describeStop.
std::string describeStep(const Session& session, const RunResult& result);

// A step asked of a machine that has stopped.
std::string describeStepWhenHalted(const Session& session, const CommandNames& names);

// After stepBack: whether it went back.
std::string describeStepBack(const Session& session, bool wentBack);

// After restart.
std::string describeRestart();

// After a breakpoint at address was set or taken away (as it is now).
std::string describeBreakpoint(const Session& session, Byte address);

// After a watchpoint at address was set or taken away (as it is now).
std::string describeWatch(const Session& session, Byte address, const CommandNames& names);

// A forward run given up by the user after steps instructions.
std::string describeInterrupted(std::uint64_t steps);

// A breakpoint asked on a line that has no instruction.
inline constexpr std::string_view LINE_WITHOUT_INSTRUCTIONS = "Questa riga non ha istruzioni.";
// A typed line refused by giveInput.
inline constexpr std::string_view TYPED_INPUT_FULL =
    "L'ingresso scritto ha raggiunto il limite di 1 MiB: non si può aggiungere altro.";

}  // namespace tarn::debugger
