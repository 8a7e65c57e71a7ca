// Proof that a run never ends: the machine comes back to a state it has
// already been in, input included, so it will go round the same steps for
// ever. Found with Brent's cycle detection, which keeps a single saved state
// however long the run, from any state the caller starts from: the start of
// a grader's case, the debugger's current state, the browser's.
#pragma once

#include "machine/machine_state.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// Where a search for an endless loop starts: the machine, the whole input
// and how much of it has been taken already.
struct LoopSearchStart {
    MachineState state{};
    std::string_view input;
    std::size_t inputTaken = 0;
    // Whether the input is all there is, with no more to come (a file, or a
    // console whose input has been closed): then an INP that finds no word
    // is a step like any other.
    bool inputEnded = false;
};

// An endless loop: after `start` steps the machine is in a state that it
// reaches again every `length` steps, for ever.
struct EndlessLoop {
    std::uint64_t start = 0;   // instructions executed before the first state of the loop
    std::uint64_t length = 0;  // instructions of one period, at least 1
    MachineState first{};      // the machine at the loop's first state
    std::size_t inputTaken = 0;  // input taken by then; the loop takes no more
    // The addresses of the instructions that one period executes.
    std::array<bool, 256> instructions{};
};

struct LoopSearch {
    enum class Outcome {
        Endless,  // `loop` says where and how long
        Stopped,  // the program reached opcode 0 within the budget
        Unknown,  // the budget ran out before anything was proved
    };
    Outcome outcome = Outcome::Unknown;
    std::optional<EndlessLoop> loop;
    // Instructions stepped in all, the second pass that locates the loop's
    // start included: at most three times the budget.
    std::uint64_t stepped = 0;
};

// Runs from `from`, at most `budget` instructions ahead of it (nothing is
// printed anywhere; trace displays are skipped), looking for a state met
// twice. The state is the 262 bytes of the machine and the input position:
// a period that takes input never matches, since the position only grows.
// An INP that finds no word left is not a repeat either, unless the input
// has ended for good (`inputEnded`): a console could still be given more, so
// the search begins afresh after every such INP, and a loop that waits on
// input is then never reported endless.
LoopSearch findEndlessLoop(const LoopSearchStart& from, std::uint64_t budget);

// "ciclo infinito: dal passo N la macchina ripete gli stessi M passi" (for
// M = 1, "sempre lo stesso passo"): the words every program uses for a loop.
std::string describeEndlessLoop(std::uint64_t start, std::uint64_t length);

}  // namespace tarn
