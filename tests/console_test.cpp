// Machines on consoles over memory: input given whole, output collected, the
// trace displays counted or kept. (Machines side by side in threads:
// console_threads_test.cpp.)
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/trace_display.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
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

namespace {

// A console that lends WRT a block of `room` bytes, as the grader's does,
// and collects whatever comes to writeOutput apart.
class BlockConsole final : public Console {
public:
    explicit BlockConsole(std::size_t room) : block_(room + 1, '\xEE') {
        setOutputBlock(block_.data(), block_.data() + room);
    }
    void writeOutput(std::string_view text) override {
        written_.push_back(std::string(text));
        printed_ += std::string(block_.data() + taken_, outputBlockUsed() - taken_) + std::string(text);
        taken_ = outputBlockUsed();
    }
    void showTrace(std::string_view) override {}

    // Everything printed, in order, the block's part and writeOutput's.
    std::string printed() const { return printed_ + std::string(block_.data() + taken_, outputBlockUsed() - taken_); }
    const std::vector<std::string>& written() const { return written_; }
    // The byte just past the block, which nothing may touch.
    char guard() const { return block_.back(); }

private:
    bool readInputBlock() override { return false; }
    std::vector<char> block_;
    std::size_t taken_ = 0;  // of the block, already in printed_
    std::string printed_;
    std::vector<std::string> written_;
};

}  // namespace

TEST(OutputBlock, WrtPrintsInPlaceWhatFitsAndTheRestThroughWriteOutput) {
    // WRT 10 with "ciao" at 10: in place, nothing through writeOutput.
    const std::string greeting = bytes({0x47, 10, 0x47, 10, 0x00, 0, 0, 0, 0, 0, 'c', 'i', 'a', 'o', 0x00});
    MachineState state = loaded(greeting);
    BlockConsole roomy(1000);
    runMachine(state, roomy);
    EXPECT_EQ("ciaociao", roomy.printed());
    EXPECT_TRUE(roomy.written().empty());
    EXPECT_EQ('\xEE', roomy.guard());

    // A short string goes in place even where the room is less than the
    // rest of memory from A, as long as it fits.
    state = loaded(greeting);
    BlockConsole shortRoom(245);
    runMachine(state, shortRoom);
    EXPECT_EQ("ciaociao", shortRoom.printed());
    EXPECT_TRUE(shortRoom.written().empty());
    EXPECT_EQ('\xEE', shortRoom.guard());

    // Room for less than the bytes the short path takes at once, and for
    // less than the rest of memory: writeOutput, whole.
    state = loaded(greeting);
    BlockConsole narrow(7);
    runMachine(state, narrow);
    EXPECT_EQ("ciaociao", narrow.printed());
    EXPECT_EQ(narrow.written(), (std::vector<std::string>{"ciao", "ciao"}));
    EXPECT_EQ('\xEE', narrow.guard());

    // An empty string prints nothing either way.
    state = loaded(bytes({0x47, 4, 0x00, 0x00, 0x00}));
    BlockConsole empty(1000);
    runMachine(state, empty);
    EXPECT_EQ("", empty.printed());
    EXPECT_TRUE(empty.written().empty());
}

TEST(OutputBlock, AStringIntoTheRegistersGoesThroughWriteOutputWhole) {
    // X = 'x', B = 'y'; WRT 250 at address 62 leaves PC = 64 '@' and IR = 'G'.
    std::string image(256, '\0');
    image.replace(0, 7, bytes({0x4A, 'x', 0x86, 150, 'y', 0x40, 62}));
    image.replace(62, 2, bytes({0x47, 250}));
    image.replace(250, 6, "abcdef");
    MachineState state = loaded(image);
    BlockConsole console(1000);
    runMachine(state, console);
    EXPECT_EQ(console.written(), (std::vector<std::string>{"abcdef@G\xFAyx"}));
    EXPECT_EQ("abcdef@G\xFAyx", console.printed());
}

TEST(OutputBlock, EveryStartAndRoomPrintsWhatTheMemoryConsolePrints) {
    // WRT A at address 0 over memory of random bytes with zeros here and
    // there, then RST at 2: every A, rooms around the rest of memory from A.
    // A 0 in every `spread` bytes or so: short strings, and strings around
    // the sixteen bytes that the short path takes at once.
    std::mt19937 random(71);
    const unsigned spreads[] = {0, 3, 4, 5, 6, 7, 8, 12, 16, 20, 28};
    for (unsigned round = 0; round < std::size(spreads); ++round) {
        std::string image(256, '\0');
        for (std::size_t address = 3; address < image.size(); ++address)
            image[address] = spreads[round] != 0 && random() % spreads[round] == 0
                                 ? '\0'
                                 : static_cast<char>(1 + random() % 255);  // no 0 at all: on into the registers
        for (unsigned start = 3; start < 256; ++start) {
            image[0] = 0x47;
            image[1] = static_cast<char>(start);
            image[2] = 0x00;
            MachineState expected = loaded(image);
            MemoryConsole memory;
            runMachine(expected, memory);
            for (const std::size_t room : {std::size_t{0}, std::size_t{7}, std::size_t{8}, std::size_t{9},
                                           std::size_t{15}, std::size_t{16}, std::size_t{17}, std::size_t{255 - start},
                                           std::size_t{256 - start}, std::size_t{257 - start}, std::size_t{300}}) {
                MachineState state = loaded(image);
                BlockConsole console(room);
                runMachine(state, console);
                ASSERT_EQ(memory.output(), console.printed()) << "round " << round << " A " << start << " room " << room;
                ASSERT_EQ(0, std::memcmp(&state, &expected, sizeof state));
                ASSERT_EQ('\xEE', console.guard());
            }
        }
    }
}
