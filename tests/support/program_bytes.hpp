// Program images written as bytes, and the texts tarnsim prints around a run:
// for tests in process and end to end alike. Calls nothing of the system.
#pragma once

#include <initializer_list>
#include <string>

namespace tarntest {

// What tarnsim prints when the run starts and after the machine stops.
inline const std::string RUN_STARTED = " Esecuzione del codice avviata... \n\n";
inline const std::string SHUTDOWN =
    "\n\n La Macchina virtuale e' stata spenta con istruzione di RESET.\n"
    " Per eseguire un altro programma riavvia la Macchina.\n\n";

// The trace display of one instruction, as tarnsim prints it.
std::string traceDisplay(int pc, const std::string& flags, const std::string& mnemonic, int a, int b, int x);

// The bytes of a list of values, for building program images.
std::string bytes(std::initializer_list<int> values);

// A small source that tarnasm's output tests write out, with the image and
// the listing it gives.
inline const std::string PROGRAM = "inizio: WRT testo\n RST\ntesto: DB \"ok\", 0\n";
inline const std::string IMAGE = bytes({0x47, 0x03, 0x00, 'o', 'k', 0});
inline const std::string LISTING =
    "  1  00  47 03        inizio: WRT testo\n"
    "  2  02  00            RST\n"
    "  3  03  6F 6B 00     testo: DB \"ok\", 0\n";

}  // namespace tarntest
