#pragma once

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"

#include <string_view>

namespace tarn {

// INP: reads one word and copies it from address A, without a terminating 0.
void inputWord(MachineState& state, Console& console);

// WRT: prints from address A up to the first 0, in one piece. Past address
// 255 the string runs on through the registers; address 261 reads as 0.
void outputString(MachineState& state, Console& console);

// INP and WRT: the instruction in IR, on the run's console. Inline, so that
// the run loop's cycles of the two go straight to theirs.
[[gnu::always_inline]] inline void ioUnit(MachineState& state, Console& console) {
    if (state.IR == Op::Wrt) outputString(state, console);
    else if (state.IR == Op::Inp) inputWord(state, console);
}

// The blanks that separate INP's words.
constexpr bool isInputBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The word the next INP takes from the input not yet read: its characters,
// up to the first blank. `whole` is false when the input ends inside it (or
// before it), where more input could still add to it: only a word followed
// by a blank is certainly the whole word.
struct InputWord {
    std::string_view text;
    bool whole = false;
};
InputWord nextInputWord(std::string_view pending);

}  // namespace tarn
