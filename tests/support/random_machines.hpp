// Random machines for tests that go through every opcode: each about to
// fetch a given opcode, with the places where the machine's rules turn
// (the end of memory, effective addresses 255..261, B = 0, the bytes 0x7F,
// 0x80, 0xFF) much likelier than chance would make them.
#pragma once

#include "machine/machine_state.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>

namespace tarntest {

// Random machines, the same on every run and every host: std::mt19937's
// numbers are fixed by the standard, its distributions are not.
class RandomMachines {
public:
    explicit RandomMachines(std::uint32_t seed) : random_(seed) {}

    unsigned below(unsigned bound) { return static_cast<unsigned>(random_() % bound); }

    // Any byte, or one of those where the rules turn.
    tarn::Byte byte() {
        static constexpr tarn::Byte TURNS[] = {0, 1, 0x7F, 0x80, 0x81, 0xFF, 0xFE, 2};
        return below(2) == 0 ? TURNS[below(std::size(TURNS))] : static_cast<tarn::Byte>(below(256));
    }

    // A machine about to fetch `opcode`: anywhere in memory, the end among
    // the likely places; its effective address often at 255..261 and its B
    // often 0 or A + X.
    tarn::MachineState about(tarn::Byte opcode) {
        tarn::MachineState state{};
        for (tarn::Byte& cell : state.M) cell = byte();
        state.F = below(4) == 0 ? byte() : static_cast<tarn::Byte>(below(32));
        state.IR = byte();
        state.A = byte();
        state.B = byte();
        state.PC = below(3) == 0 ? static_cast<tarn::Byte>(253 + below(3)) : static_cast<tarn::Byte>(below(256));
        state.M[state.PC] = opcode;
        const unsigned pc = state.PC;
        const unsigned effective = below(2) == 0 ? 255 + below(7) : below(511);
        state.X = static_cast<tarn::Byte>(below(std::min(effective, 255u) + 1));
        if (effective - state.X <= 255 && pc + 1 < 256) state.M[pc + 1] = static_cast<tarn::Byte>(effective - state.X);
        if (below(3) == 0 && pc + 1 < 256) state.M[pc + 1] = static_cast<tarn::Byte>(245 + below(11));  // words past 255
        if (pc + 2 < 256 && below(3) == 0) state.M[pc + 2] = below(2) == 0 ? 0 : state.M[pc + 1];
        // The two bytes the instruction computes with, as the fetch will find A and B.
        const tarn::Byte a = pc + 1 < 256 ? state.M[pc + 1] : state.PC;
        const tarn::Byte b = pc + 2 < 256 ? state.M[pc + 2] : pc == 254 ? state.PC : opcode;
        if (unsigned{a} + state.X < 256) state.M[a + state.X] = byte();
        state.M[b] = byte();
        state.M[pc] = opcode;  // whatever the lines above did to it
        return state;
    }

    // Input for INP: none, only blanks, words after blanks or at the end,
    // a word too long for the machine, bytes 0 inside or first, UTF-8.
    std::string input() {
        static const std::string INPUTS[] = {
            "",
            "  \n\t ",
            "ciao mondo",
            " \tparola\nseguente",
            "fine",
            std::string(300, 'x') + " dopo",
            std::string("ab\0cd ef", 8),
            std::string("\0zero", 5),
            "città",
            "0123456789abcdefghij",
        };
        return INPUTS[below(std::size(INPUTS))];
    }

private:
    std::mt19937 random_;
};

}  // namespace tarntest
