#include "programs/tarnsim/standard_console.hpp"

#include "programs/tarnsim/diagnostics.hpp"
#include "host/descriptors.hpp"
#include "host/system_reason.hpp"

#include <string>
#include <unistd.h>

namespace tarnsim {

StandardConsole::StandardConsole() : block_(new char[BLOCK]) {}

void StandardConsole::writeOutput(std::string_view text) {
    const int error = tarn::writeAll(STDOUT_FILENO, text);
    if (error == 0 || outputFailed_) return;
    outputFailed_ = true;
    diagnose("impossibile scrivere sullo standard output: " + tarn::systemReason(error));
}

void StandardConsole::showTrace(std::string_view display) {
    writeOutput(display);  // all of it is visible before the wait
    keys_.waitForKey();
}

}  // namespace tarnsim
