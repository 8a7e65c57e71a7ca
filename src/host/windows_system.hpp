// The Windows host's own helpers: the programs' names, which come in the
// ANSI code page as their arguments do, for the system's wide calls, and
// the system's error codes as reasons in Italian.
#pragma once

#include <string>
#include <windows.h>

namespace tarn::windows {

// A name in the ANSI code page as the wide string the W calls take, and back.
std::wstring widened(const std::string& text);
std::string narrowed(const std::wstring& text);

// The reason, in Italian, for an error code of GetLastError.
std::string errorReason(unsigned long error);

// The same for the last error of the calling thread.
std::string lastErrorReason();

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
