#include "programs/tarnsim/standard_console.hpp"

#include "programs/tarnsim/diagnostics.hpp"
#include "host/descriptors.hpp"
#include "host/system_reason.hpp"
#include "host/windows_system.hpp"

#include <cerrno>
#include <cstdint>
#include <io.h>
#include <string>
#include <windows.h>

namespace tarnsim {

namespace {

// A console gives what is typed in UTF-16, and the program gets it in
// UTF-8, as it would elsewhere (the console's code page would give "città"
// as bytes of its own, which then print as other characters). As in text
// mode, CR LF arrives as LF (and so does the CR that ends a read: Enter,
// which some consoles give without its LF), and Ctrl-Z ends the input:
// what comes before it still arrives.
struct TypedInput {
    HANDLE console = nullptr;  // none: standard input is not a console
    wchar_t carried = 0;       // a high surrogate, whose pair is to come
    bool lineEnded = false;    // the last read ended with CR, given as LF: an LF next is its own
    bool ended = false;        // Ctrl-Z was typed
};

TypedInput& typedInput() {
    static TypedInput input = [] {
        TypedInput opened;
        if (tarn::isTerminal(0)) opened.console = reinterpret_cast<HANDLE>(::_get_osfhandle(0));
        return opened;
    }();
    return input;
}

constexpr DWORD WIDE_BLOCK = 8192;  // at most 3 bytes of UTF-8 each

// The next piece of typed text as UTF-8 into block: its size, or 0 at the
// end of the input.
std::size_t readTyped(TypedInput& input, char* block, std::size_t capacity) {
    while (!input.ended) {
        wchar_t wide[WIDE_BLOCK + 1];
        DWORD count = 0;
        if (input.carried != 0) wide[count++] = input.carried;
        input.carried = 0;
        DWORD got = 0;
        if (!::ReadConsoleW(input.console, wide + count, WIDE_BLOCK, &got, nullptr)) {
            diagnose("impossibile leggere lo standard input: " + tarn::windows::lastErrorReason());
            input.ended = true;
            break;
        }
        if (got == 0 && count == 0) break;
        count += got;
        for (DWORD i = 0; i < count; ++i) {
            if (wide[i] != 0x1A) continue;
            count = i;
            input.ended = true;
        }
        if (!input.ended && count > 0 && IS_HIGH_SURROGATE(wide[count - 1])) input.carried = wide[--count];
        const bool lineEnded = input.lineEnded;
        input.lineEnded = count > 0 && wide[count - 1] == L'\r';
        DWORD kept = 0;
        for (DWORD i = 0; i < count; ++i) {
            if (i == 0 && lineEnded && wide[i] == L'\n') continue;
            if (wide[i] == L'\r' && i + 1 < count && wide[i + 1] == L'\n') continue;
            wide[kept++] = wide[i] == L'\r' && i + 1 == count ? L'\n' : wide[i];
        }
        const std::string text = tarn::windows::narrowed(std::wstring_view(wide, kept));
        if (text.empty()) continue;
        const std::size_t size = std::min(text.size(), capacity);
        text.copy(block, size);
        return size;
    }
    return 0;
}

}  // namespace

// Standard input is read in blocks, in the mode Windows gives it (text: a
// CR LF arrives as LF, and Ctrl-Z ends it), or from the console as UTF-8.
// Its end, or a read error, ends the input for good.
bool StandardConsole::readInputBlock() {
    TypedInput& input = typedInput();
    if (input.console != nullptr) {
        const std::size_t got = readTyped(input, block_.get(), BLOCK);
        if (got == 0) return false;
        setInputBlock(block_.get(), block_.get() + got);
        return true;
    }
    const int got = ::_read(0, block_.get(), static_cast<unsigned>(BLOCK));
    if (got > 0) {
        setInputBlock(block_.get(), block_.get() + got);
        return true;
    }
    if (got < 0) diagnose("impossibile leggere lo standard input: " + tarn::systemReason(errno));
    return false;
}

}  // namespace tarnsim
