// The Windows host's own helpers: the programs' text, which is UTF-8 as
// elsewhere (their arguments are made so at the start), to and from the
// system's wide calls, and the system's error codes as reasons in Italian.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

namespace tarn::windows {

// UTF-8 text as the UTF-16 string the W calls take: empty for empty text
// and for text that is not UTF-8 (which names no file).
std::wstring widened(std::string_view text);

// A UTF-16 string of the system (a name, an argument) as UTF-8; a lone
// surrogate, which UTF-8 cannot hold, becomes U+FFFD.
std::string narrowed(std::wstring_view text);

// The reason, in Italian, for an error code of GetLastError.
std::string errorReason(unsigned long error);

// The same for the last error of the calling thread.
std::string lastErrorReason();

// Why a path to read cannot be opened: for a name with * or ?, which no
// file on Windows has, that it is a pattern that matched nothing (the
// start-up then leaves it as it was typed); the error's reason otherwise.
std::string pathReason(std::string_view path, unsigned long error);

// A handle of the system, closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes it, telling whether a write the system kept back failed then.
    bool close() {
        const bool closed = ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

}  // namespace tarn::windows
