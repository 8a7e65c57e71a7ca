// Reading a program image from a file into the machine.
#pragma once

#include "machine/machine_state.hpp"

#include <string>

namespace tarn {

// How the load of a program image went; the machine itself never looks at it.
struct LoadReport {
    bool opened = false;
    bool readFailed = false;  // opened, but reading it failed (a folder, say)
    int error = 0;            // the system's errno when it could not be opened or read
    std::string reason;       // the host's own words for that error, when errno has none
    bool truncated = false;   // the image held more than 256 bytes
};

// Resets F, PC, A, B and X and copies the image at path, byte for byte, into
// memory from address 0; at most 256 bytes are loaded, and a longer file (or
// an endless device) is never read further than one byte past them.
LoadReport loadProgram(const std::string& path, MachineState& state);

}  // namespace tarn
