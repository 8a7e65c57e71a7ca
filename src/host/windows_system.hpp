// The Windows host's own helpers: the programs' names, which come in the
// ANSI code page as their arguments do, for the system's wide calls, and
// the system's error codes as reasons in Italian.
#pragma once

#include <string>

namespace tarn::windows {

// A name in the ANSI code page as the wide string the W calls take, and back.
std::wstring widened(const std::string& text);
std::string narrowed(const std::wstring& text);

// The reason, in Italian, for an error code of GetLastError.
std::string errorReason(unsigned long error);

// The same for the last error of the calling thread.
std::string lastErrorReason();

}  // namespace tarn::windows
