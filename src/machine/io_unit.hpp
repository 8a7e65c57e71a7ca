#pragma once

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The bytes that WRT's short path takes at once: sixteen on x86-64, eight
// elsewhere.
#if defined(__SSE2__)
inline constexpr std::size_t SHORT_STRING = 16;
using ZeroBytes = unsigned;  // bit i for byte i
#else
inline constexpr std::size_t SHORT_STRING = 8;
using ZeroBytes = std::uint64_t;  // the high bit of each byte, and maybe of bytes after the first
#endif

// Copies SHORT_STRING bytes from `from` to `to`, and tells which of them are
// 0: none when the answer is 0, else firstZero finds the first.
[[gnu::always_inline]] inline ZeroBytes copyShortString(const Byte* from, char* to) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
#else
    std::uint64_t word;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
    // A byte's high bit is set when the byte is 0, or when it is 1 and comes
    // after a 0: never before the first 0.
    constexpr std::uint64_t ONES = 0x0101010101010101, HIGHS = 0x8080808080808080;
    return (word - ONES) & ~word & HIGHS;
#endif
}

// How many bytes come before the first 0 of a copy that holds one.
[[gnu::always_inline]] inline std::size_t firstZero(ZeroBytes zeros) {
#if defined(__SSE2__)
    return static_cast<std::size_t>(std::countr_zero(std::size_t{zeros}));
#else
    // The borrow runs from the word's low bytes to its high ones, which on a
    // little-endian host (WebAssembly, ARM, x86) are the string's later bytes.
    static_assert(std::endian::native == std::endian::little);
    return static_cast<unsigned>(std::countr_zero(zeros)) / 8;
#endif
}

// WRT of a short string on a console that keeps its output in memory: when
// the string at `start` ends in memory within SHORT_STRING bytes and the
// console's block has room for SHORT_STRING more, it goes there at once and
// the answer is true; otherwise nothing is printed and the answer is false,
// for outputString to print it. It reads memory only, not the registers: the
// run loop's processor, whose registers stay in the host's, prints this way
// without putting them back into the record, since WRT changes none.
[[gnu::always_inline]] inline bool outputShortString(const Byte (&memory)[256], std::size_t start, Console& console) {
    const Console::OutputRoom room = console.outputRoom();
    if (room.size < SHORT_STRING || start > sizeof memory - SHORT_STRING) [[unlikely]]
        return false;
    const ZeroBytes zeros = copyShortString(memory + start, room.next);
    if (zeros == 0) [[unlikely]]
        return false;
    console.printedInPlace(firstZero(zeros));
    return true;
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
