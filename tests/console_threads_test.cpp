// Any number of machines side by side, each on a console of its own, in
// threads of the host: left to the native build, whose threads can start.
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

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

TEST(MemoryConsole, MachinesRunSideBySideInThreads) {
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
