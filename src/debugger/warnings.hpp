// The teaching warnings of a debugging session, each about one instruction:
// what the program is about to do that it most likely did not mean. The
// session stops a forward run on them (Session::warnings says them).
#pragma once

#include <string>

namespace tarn::debugger {

enum class WarningKind {
    ExecutesData,      // the next instruction is a byte the program defined as data
    ReadsUndefined,    // the next instruction reads a byte nobody ever gave a value
    AddressPastMemory, // the next instruction's effective address is above 255
    WritesCode,        // the next instruction writes into an instruction's bytes
    SwitchedOnTrace,   // the last instruction, VAL or CPY with B = 0, switched D on
    InputOverflows,    // the next INP stores its word past its label's data, into another label's bytes
    StringOverflows,   // the next WRT prints past its label's data, into another label's bytes
};

struct Warning {
    WarningKind kind;
    std::string text;  // Italian, one line
};

}  // namespace tarn::debugger
