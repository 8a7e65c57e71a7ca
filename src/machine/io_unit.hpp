#pragma once

#include "machine/console.hpp"
#include "machine/machine_state.hpp"

#include <string_view>

namespace tarn {

// INP and WRT: the instruction in IR, on the run's console.
void ioUnit(MachineState& state, Console& console);

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
