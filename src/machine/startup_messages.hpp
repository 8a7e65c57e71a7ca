// What tarnsim prints around a run, on standard output: the banner, the lines
// that start the machine and load the program, the line that starts the
// run, the lines of the shutdown, and the usage lines. Every edition that
// shows a run as tarnsim shows it prints these same bytes.
#pragma once

#include <string>
#include <string_view>

namespace tarn {

// The boxed banner, with an empty line before and after it.
std::string startupBanner();

// Printed instead of a run when no program was named.
inline constexpr std::string_view USAGE_LINES =
    " Numero di parametri insufficienti.\n"
    " E' necesaria la seguente sintassi : tarnsim <programma> \n"
    "\n";

// The machine starts and loads the program, as it was named.
std::string loadingLines(std::string_view program);

// The run begins: the line, then an empty one.
inline constexpr std::string_view RUN_STARTED_LINES = " Esecuzione del codice avviata... \n\n";

// The machine has stopped on opcode 0.
inline constexpr std::string_view SHUTDOWN_LINES =
    "\n\n"
    " La Macchina virtuale e' stata spenta con istruzione di RESET.\n"
    " Per eseguire un altro programma riavvia la Macchina.\n"
    "\n";

}  // namespace tarn
