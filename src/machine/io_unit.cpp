#include "machine/io_unit.hpp"

#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarn {

namespace {

// Words land at addresses A + i; from this position on they lie outside the machine.
constexpr unsigned OUTSIDE_THE_MACHINE = 261;

// Copies the bytes from `from` up to the first 0 to `to`, which has room for
// all `count` of them, and tells how many there were before it; false when
// none of the `count` is 0. Bytes after the 0 may be copied too. On x86-64
// sixteen bytes go at a time, which covers most strings at once.
[[gnu::always_inline]] inline bool copyUpToZero(const Byte* from, std::size_t count, char* to, std::size_t& length) {
    std::size_t copied = 0;
#if defined(__SSE2__)
    for (; count - copied >= 16; copied += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + copied));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + copied), bytes);
        const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
        if (zeros != 0) {
            length = copied + static_cast<unsigned>(std::countr_zero(zeros));
            return true;
        }
    }
#endif
    for (; copied < count; ++copied) {
        if (from[copied] == 0) {
            length = copied;
            return true;
        }
        to[copied] = static_cast<char>(from[copied]);
    }
    return false;
}

// WRT on a console that takes the text through writeOutput: a string that
// ends in memory goes as it stands there; one that runs past address 255,
// on through the registers (up to 5 bytes of them, as address 261 reads as
// 0), is put together first.
[[gnu::noinline]] void outputAsText(MachineState& state, Console& console) {
    const std::size_t start = state.A;
    const char* const from = reinterpret_cast<const char*>(state.M) + start;
    if (const void* const zero = std::memchr(from, 0, sizeof state.M - start)) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(zero) - from);
        if (length > 0) console.writeOutput({from, length});
        return;
    }
    char text[OUTSIDE_THE_MACHINE];
    std::size_t length = sizeof state.M - start;
    std::memcpy(text, from, length);
    for (unsigned address = 256; readByte(state, address) != 0; ++address)
        text[length++] = static_cast<char>(readByte(state, address));
    console.writeOutput({text, length});
}

}  // namespace

InputWord nextInputWord(std::string_view pending) {
    std::size_t begin = 0;
    while (begin < pending.size() && isInputBlank(pending[begin])) ++begin;
    std::size_t end = begin;
    while (end < pending.size() && !isInputBlank(pending[end])) ++end;
    return {pending.substr(begin, end - begin), end < pending.size()};
}

// The word is stored at A + i for its i-th character. X plays no part, and A
// is read afresh for every character: a word that
// reaches address 258 rewrites A, and the characters after it follow the new A.
void inputWord(MachineState& state, Console& console) {
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

// Programs that print in a loop come here at every turn: where the console
// keeps its output in memory, a string that ends in memory goes straight there.
void outputString(MachineState& state, Console& console) {
    const std::size_t start = state.A;
    const std::size_t inMemory = sizeof state.M - start;
    const Console::OutputRoom room = console.outputRoom();
    if (room.size >= inMemory) [[likely]] {
        std::size_t length = 0;
        if (copyUpToZero(state.M + start, inMemory, room.next, length)) [[likely]] {
            console.printedInPlace(length);
            return;
        }
    }
    outputAsText(state, console);
}

}  // namespace tarn
