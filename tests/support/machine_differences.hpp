// Where two machines differ, for test messages.
#pragma once

#include "machine/machine_state.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tarntest {

inline std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// As "F expected 0x0A got 0x02, ..."; empty when the two agree.
inline std::string differences(const tarn::MachineState& expected, const tarn::MachineState& actual) {
    std::string text;
    const auto compare = [&](const std::string& name, tarn::Byte want, tarn::Byte got) {
        if (want == got) return;
        if (!text.empty()) text += ", ";
        text += name + " expected " + hex(want) + " got " + hex(got);
    };
    compare("F", expected.F, actual.F);
    for (unsigned address = 0; address < 256; ++address)
        compare("M[" + std::to_string(address) + "]", expected.M[address], actual.M[address]);
    compare("PC", expected.PC, actual.PC);
    compare("IR", expected.IR, actual.IR);
    compare("A", expected.A, actual.A);
    compare("B", expected.B, actual.B);
    compare("X", expected.X, actual.X);
    return text;
}

// A machine with no byte 0 anywhere, so that a byte read from the wrong
// place never passes for a right one.
inline tarn::MachineState patternedMachine() {
    tarn::MachineState state{};
    for (unsigned address = 0; address < 256; ++address) state.M[address] = static_cast<tarn::Byte>(0xA0 ^ address);
    state.M[0xA0] = 0x5A;  // the one address the pattern maps to 0
    state.F = 0xE5;
    state.PC = 0x21;
    state.IR = 0x99;
    state.A = 0xEE;
    state.B = 0xDD;
    state.X = 0x07;
    return state;
}

inline void expectRegistersReset(const tarn::MachineState& state, const char* what) {
    EXPECT_EQ(0, state.F) << what;
    EXPECT_EQ(0, state.PC) << what;
    EXPECT_EQ(0, state.A) << what;
    EXPECT_EQ(0, state.B) << what;
    EXPECT_EQ(0, state.X) << what;
}

}  // namespace tarntest
