// The system that the programs' texts are shown on, whose conventions they
// follow: how a name shows its backslashes (text/utf8.hpp), how a command
// is quoted and which tools it may name (grading/wording.hpp).
//
// A program's entry point chooses it once, before anything else runs, and
// it stays: POSIX's, unless the entry point is the Windows one. The
// portable libraries only read it; they never ask the system.
#pragma once

namespace tarn {

enum class Platform {
    Posix,    // a name may hold any byte but '/'; commands for a POSIX shell
    Windows,  // a backslash separates folders; commands for cmd.exe and PowerShell
};

Platform shownPlatform();
void setShownPlatform(Platform platform);

}  // namespace tarn
