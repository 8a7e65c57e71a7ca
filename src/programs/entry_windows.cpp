// The Windows entry point: the command line is taken in UTF-16, as the
// system holds it, and converted to UTF-8, the programs' text everywhere.
// The arguments in the ANSI code page would lose every character that the
// code page lacks (a folder "Ștefan" would reach the program as "?tefan")
// and spell the rest in bytes that no other text of the programs uses.
// The texts then follow Windows' conventions: paths shown with their
// backslashes as typed, commands quoted for cmd.exe and PowerShell.
//
// The start-up expands the wildcard patterns of the command line
// ("consegne\*", "*.asm") on the wide names too, as a shell does elsewhere:
// the command prompt leaves them to the program. The programs themselves
// never expand a name.
#include "programs/entry.hpp"

#include "host/windows_system.hpp"
#include "text/platform.hpp"

#include <string>
#include <vector>

extern "C" {
int _dowildcard = -1;
}

int wmain(int argc, wchar_t** argv) {
    tarn::setShownPlatform(tarn::Platform::Windows);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.push_back(tarn::windows::narrowed(argv[i]));
    std::vector<char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return programMain(argc, pointers.data());
}
