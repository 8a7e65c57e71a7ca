#include "host/terminal_keys.hpp"

#include <conio.h>
#include <windows.h>

namespace tarnsim {

// The console is asked for by its own name: standard input may come from a
// file or a pipe while the console is still there to press a key on.
// Without a console (a program started without a window, or by another
// with its streams taken), nobody is there to press one: the wait returns
// at once, as it does without a terminal elsewhere.
void TerminalKeys::open() {
    opened_ = true;
    const HANDLE console = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (::GetConsoleMode(console, &mode)) fd_ = 0;
    ::CloseHandle(console);
}

TerminalKeys::~TerminalKeys() = default;

void TerminalKeys::waitForKey() {
    if (!opened_) open();
    if (fd_ < 0) return;
    ::_getche();  // one key, echoed on the console; its value is ignored
}

}  // namespace tarnsim
