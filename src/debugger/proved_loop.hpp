// An endless loop of a run, proved, and how the debuggers tell it: where it
// starts, how long a round is, its lines and the instructions of it that
// the program rewrote. tarndbg and the page's debugger say it when a forward
// run stops in one, and the page when "Ferma" stopped a run in one.
#pragma once

#include "assembly/rewritten_code.hpp"
#include "debugger/program.hpp"
#include "machine/loop_detection.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn::debugger {

// From position `start` on, the machine goes through the same `length`
// states again and again.
struct ProvedLoop {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::array<bool, 256> instructions{};  // the addresses of the instructions of one period
    // Those of them whose bytes are not the ones the program placed, as
    // they stand at the loop's first state, by address.
    std::vector<RanInstruction> rewritten;
};

// A loop found by a search from the start of a run, with the instructions
// of it that the program rewrote.
ProvedLoop provedLoop(const EndlessLoop& found, const Program& program);

// The numbers of the lines of the loop's instructions, in order.
std::vector<std::int64_t> loopLineNumbers(const Program& program, const ProvedLoop& loop);

// The lines of the loop, as "righe 7-9 e 12" (for the message).
std::string describeLoopLines(const Program& program, const ProvedLoop& loop);

// The instructions of the loop that the program rewrote, as a sentence:
// "Alla riga 3 il ciclo esegue JMP p (riscritta dal programma)."; empty
// when it runs its lines as the program placed them.
std::string describeLoopRewrites(const Program& program, const ProvedLoop& loop);

// "Ciclo infinito: dal passo N la macchina ripete gli stessi M passi (righe
// 7-9): il programma non finirebbe mai.", and the loop's rewritten
// instructions: what a forward run that stops on an endless loop says, and
// the page after "Ferma" stops a run in one.
std::string describeEndlessLoopStop(const Program& program, const ProvedLoop& loop);

}  // namespace tarn::debugger
