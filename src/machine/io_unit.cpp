#include "machine/io_unit.hpp"


namespace tarn {

namespace {

// Words land at addresses A + i; from this position on they lie outside the machine.
constexpr unsigned OUTSIDE_THE_MACHINE = 261;

// INP: reads one word and copies it from address A, without a terminating 0.
// X plays no part, and A is read afresh for every character: a word that
// reaches address 258 rewrites A, and the characters after it follow the new A.
void input(MachineState& state, Console& console) {
    std::optional<char> next = console.nextInputChar();
    while (next && isInputBlank(*next)) next = console.nextInputChar();
    if (!next) return;  // end of input: nothing is stored

    bool copying = true;
    for (unsigned i = 0; next && !isInputBlank(*next); ++i, next = console.nextInputChar()) {
        // The whole word is consumed, but a 0 byte ends the copy, and so does
        // the end of the machine.
        if (*next == '\0' || i >= OUTSIDE_THE_MACHINE) copying = false;
        if (copying) writeByte(state, state.A + i, static_cast<Byte>(*next));
    }
    if (next) console.ungetInputChar();  // the delimiter stays for the next INP
}

// WRT: prints from address A up to the first 0, in one piece. Past address
// 255 the string runs on through the registers; address 261 reads as 0.
void output(MachineState& state, Console& console) {
    char text[OUTSIDE_THE_MACHINE];
    std::size_t length = 0;
    for (unsigned address = state.A; readByte(state, address) != 0; ++address)
        text[length++] = static_cast<char>(readByte(state, address));
    if (length > 0) console.writeOutput({text, length});
}

}  // namespace

InputWord nextInputWord(std::string_view pending) {
    std::size_t begin = 0;
    while (begin < pending.size() && isInputBlank(pending[begin])) ++begin;
    std::size_t end = begin;
    while (end < pending.size() && !isInputBlank(pending[end])) ++end;
    return {pending.substr(begin, end - begin), end < pending.size()};
}

void ioUnit(MachineState& state, Console& console) {
    switch (state.IR) {
        case 70: input(state, console); break;   // INP
        case 71: output(state, console); break;  // WRT
        default: break;
    }
}

}  // namespace tarn
