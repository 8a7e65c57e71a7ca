// Machines on consoles over memory: input given whole, output collected, the
// trace displays counted or kept. (Machines side by side in threads:
// console_threads_test.cpp.)
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/trace_display.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace tarn;
using tarntest::bytes;

namespace {

MachineState loaded(const std::string& image) {
    MachineState state{};
    EXPECT_TRUE(loadImage({reinterpret_cast<const Byte*>(image.data()), image.size()}, state));
    return state;
}

// INP 100, WRT 100, INP 100, WRT 100, RST, with a zeroed area at 100.
const std::string ECHO_TWICE = bytes({0x46, 100, 0x47, 100, 0x46, 100, 0x47, 100, 0x00});

}  // namespace

TEST(MemoryConsole, WordsComeFromTheGivenInputAndOutputIsCollected) {
    MachineState state = loaded(ECHO_TWICE);
    MemoryConsole console("  ab\tcd  rest");
    runMachine(state, console);
    EXPECT_EQ("abcd", console.output());
    EXPECT_EQ(7u, console.inputTaken());  // up to "cd": the blank after it stays
    EXPECT_FALSE(console.outputCut());

    // At the end of input nothing more is taken, now or later.
    state = loaded(ECHO_TWICE);
    MemoryConsole ended("only");
    runMachine(state, ended);
    EXPECT_EQ("onlyonly", ended.output());
    EXPECT_EQ(4u, ended.inputTaken());
}

TEST(MemoryConsole, OutputPastTheLimitIsCutAndMarked) {
    // WRT 3 with "abcdef" at 3, twice.
    MachineState state = loaded(bytes({0x47, 3, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 0x00}));
    MemoryConsole console("", MemoryConsole::Traces::Counted, 4);
    runMachine(state, console);
    EXPECT_EQ("abcd", console.output());
    EXPECT_TRUE(console.outputCut());

    state = loaded(bytes({0x47, 3, 0x00, 'a', 'b', 'c', 'd', 0x00}));
    MemoryConsole exact("", MemoryConsole::Traces::Counted, 4);
    runMachine(state, exact);
    EXPECT_EQ("abcd", exact.output());
    EXPECT_FALSE(exact.outputCut());
}

TEST(MemoryConsole, TraceDisplaysAreCountedOrKeptNeverWaitedFor) {
    // STD, WRT 7, CLD, RST, "x": two displays (WRT and CLD).
    const std::string image = bytes({0x01, 0x47, 7, 0x07, 0x00, 0x00, 0x00, 'x', 0x00});
    MachineState counted = loaded(image);
    MemoryConsole counting;
    runMachine(counted, counting);
    EXPECT_EQ("x", counting.output());
    EXPECT_EQ(2u, counting.tracesShown());

    // Kept, they stand where standard output would show them.
    MachineState shown = loaded(image);
    MemoryConsole scratch;
    stepMachine(shown, scratch);  // STD
    fetchInstruction(shown);
    const std::string first = traceDisplay(shown);  // before WRT
    executeInstruction(shown, scratch);
    fetchInstruction(shown);
    const std::string second = traceDisplay(shown);  // before CLD

    MachineState kept = loaded(image);
    MemoryConsole keeping("", MemoryConsole::Traces::Kept);
    runMachine(kept, keeping);
    EXPECT_EQ(2u, keeping.tracesShown());
    EXPECT_EQ(first + "x" + second, keeping.output());
}

TEST(MemoryConsole, ACopyGoesOnFromWhereTheOriginalStood) {
    MachineState state = loaded(ECHO_TWICE);
    MemoryConsole console("one two");
    ASSERT_EQ(2u, runMachineFor(state, console, 2));  // the first INP and WRT
    MachineState savedState = state;
    const MemoryConsole saved = console;

    runMachine(state, console);
    MemoryConsole resumed = saved;
    runMachine(savedState, resumed);
    EXPECT_EQ("onetwo", console.output());
    EXPECT_EQ(console.output(), resumed.output());
    EXPECT_EQ(console.inputTaken(), resumed.inputTaken());
    EXPECT_EQ(0, std::memcmp(&state, &savedState, sizeof state));
}

TEST(Loading, ImageInMemoryLoadsLikeAFile) {
    MachineState state{};
    state.F = 0xFF;
    state.PC = state.A = state.B = state.X = 7;
    state.M[200] = 0x55;
    const std::string image = bytes({0x0D, 0x0A, 0x1A, 0x00});
    EXPECT_TRUE(loadImage({reinterpret_cast<const Byte*>(image.data()), image.size()}, state));
    EXPECT_EQ(0, std::memcmp(state.M, image.data(), image.size()));
    EXPECT_EQ(0x55, state.M[200]);  // memory past the image is left alone
    EXPECT_EQ(0, state.F + state.PC + state.A + state.B + state.X);

    const std::string tooLong(300, '\x06');
    EXPECT_FALSE(loadImage({reinterpret_cast<const Byte*>(tooLong.data()), tooLong.size()}, state));
    EXPECT_EQ(0x06, state.M[255]);
    EXPECT_TRUE(loadImage({}, state));
}

TEST(MemoryConsole, MachinesRunSideBySideInThreads) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "la build WebAssembly non ha thread";
#endif
    // Each thread runs its own program many times on its own console; every
    // run must give what a run alone gives.
    // The second counts down from 50 printing an asterisk each time.
    std::string stars = bytes({0x86, 0x1E, 50, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00});
    stars.resize(30, '\0');
    stars += bytes({0x00, 0x2A, 0x00});
    const std::string programs[] = {ECHO_TWICE, stars};
    const std::string inputs[] = {"alfa beta", ""};
    std::string alone[2];
    for (int i = 0; i < 2; ++i) {
        MachineState state = loaded(programs[i]);
        MemoryConsole console(inputs[i]);
        runMachine(state, console);
        alone[i] = console.output();
    }
    EXPECT_EQ("alfabeta", alone[0]);
    EXPECT_EQ(std::string(50, '*'), alone[1]);
    std::vector<int> mismatches(2, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 2000; ++round) {
                MachineState state = loaded(programs[i]);
                MemoryConsole console(inputs[i]);
                runMachine(state, console);
                if (console.output() != alone[i]) ++mismatches[static_cast<std::size_t>(i)];
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, mismatches[0]);
    EXPECT_EQ(0, mismatches[1]);
}
