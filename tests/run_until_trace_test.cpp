// The run loop that leaves where D is set: tracing around it, one
// instruction at a time, gives exactly the run of runMachineFor.
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "support/machine_differences.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using namespace tarn;
using tarntest::differences;

namespace {

// Opcodes that set D (STD, VAL and CPY with B = 0) and its clearing CLD turn
// up often among the random bytes, so that traces start and stop.
MachineState randomMachine(std::mt19937& random) {
    const Byte favoured[] = {0x01, 0x07, 0x86, 0x85, 0x46, 0x47, 0x40, 0x0C, 0x81, 0x00};
    MachineState state{};
    for (Byte& byte : state.M) {
        const unsigned pick = random() % 4;
        byte = pick == 0 ? favoured[random() % std::size(favoured)] : static_cast<Byte>(random());
    }
    state.M[0] = 0x01;  // starts under the trace
    return state;
}

TEST(RunUntilTrace, TracingAroundItGivesRunMachineFor) {
    std::mt19937 random(20240611);
    const std::uint64_t limit = 5000;
    std::size_t tracedRuns = 0;
    for (int round = 0; round < 400; ++round) {
        const MachineState start = randomMachine(random);
        const std::string input = "uno due\ntre 4 5 sei\n";

        MachineState expected = start;
        MemoryConsole expectedConsole(input, MemoryConsole::Traces::Kept);
        const std::uint64_t expectedSteps = runMachineFor(expected, expectedConsole, limit);

        MachineState actual = start;
        MemoryConsole console(input, MemoryConsole::Traces::Kept);
        std::uint64_t steps = 0;
        std::size_t traces = 0;
        while (steps < limit && actual.M[actual.PC] != 0) {
            if (actual.F & FLAG_D) {
                // What stepMachine does under the trace, done here.
                stepMachine(actual, console);
                ++steps;
                ++traces;
                continue;
            }
            const std::uint64_t ran = runMachineUntilTrace(actual, console, limit - steps);
            steps += ran;
            // It left for one of its three reasons only.
            ASSERT_TRUE(steps == limit || actual.M[actual.PC] == 0 || (actual.F & FLAG_D)) << "round " << round;
        }
        if (traces > 1) ++tracedRuns;
        EXPECT_EQ(steps, expectedSteps) << "round " << round;
        EXPECT_EQ(differences(expected, actual), "") << "round " << round;
        EXPECT_EQ(console.output(), expectedConsole.output()) << "round " << round;
        EXPECT_EQ(console.inputTaken(), expectedConsole.inputTaken()) << "round " << round;
    }
    EXPECT_GT(tracedRuns, 100u);  // the rounds did trace
}

// With D set it executes nothing; with D clear it runs until D is set,
// having executed the instruction that set it.
TEST(RunUntilTrace, StopsBeforeFetchingWhereDIsSet) {
    MachineState state{};
    const std::string image = tarntest::bytes({0x06, 0x06, 0x01, 0x06, 0x00});  // NOP NOP STD NOP RST
    std::memcpy(state.M, image.data(), image.size());
    MemoryConsole console;
    EXPECT_EQ(runMachineUntilTrace(state, console, 100), 3u);
    EXPECT_EQ(state.PC, 3);
    EXPECT_TRUE(state.F & FLAG_D);
    EXPECT_EQ(runMachineUntilTrace(state, console, 100), 0u);
    EXPECT_EQ(state.PC, 3);
    EXPECT_EQ(console.tracesShown(), 0u);
    EXPECT_EQ(runMachineUntilTrace(state, console, 2), 0u);
    state.F = 0;
    EXPECT_EQ(runMachineUntilTrace(state, console, 100), 1u);  // halts at RST
    EXPECT_EQ(state.PC, 4);
}

}  // namespace
