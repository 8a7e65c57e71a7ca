// A run as tarnsim shows it, a slice at a time: the console holds exactly
// what tarnsim prints, whatever the slices, the keys of the trace and the
// moments the input arrives.
#include "assembly/assembler.hpp"
#include "debugger/console_run.hpp"
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/loop_detection.hpp"
#include "machine/startup_messages.hpp"
#include "machine/trace_display.hpp"
#include "support/loop_programs.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarn::debugger {
namespace {

using tarn::testing::afterCountdowns;
using tarn::testing::TWO_BYTE_COUNTER;

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << "impossibile leggere " << path;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<Byte> assembled(std::string_view source) {
    const Assembly assembly = assemble(source);
    EXPECT_FALSE(assembly.failed());
    return assembly.image;
}

// What one whole run gave: the console, what WRT printed, the pauses.
struct Outcome {
    std::string console;
    std::string output;
    std::size_t traces = 0;
    std::size_t inputPauses = 0;
    MachineState machine{};
    std::uint64_t executed = 0;
};

// Runs to the halt in slices of `budget`, pressing the key at every trace;
// input comes a line at a time from `lines`, only when the run asks, and
// ends when they are all given.
Outcome runToHalt(ConsoleRun& run, std::uint64_t budget, std::vector<std::string> lines = {}) {
    Outcome outcome;
    std::size_t nextLine = 0;
    for (std::size_t slices = 0; slices < 10'000'000; ++slices) {
        const ConsoleRun::State state = run.runSlice(budget);
        outcome.console += run.takeConsole();
        outcome.output += run.takeOutput();
        if (state == ConsoleRun::State::Halted) break;
        if (state == ConsoleRun::State::Trace) {
            ++outcome.traces;
            // Until the key, the run stays where it is.
            EXPECT_EQ(run.runSlice(budget), ConsoleRun::State::Trace);
            EXPECT_TRUE(run.takeConsole().empty());
            run.pressKey();
        } else if (state == ConsoleRun::State::NeedsInput) {
            ++outcome.inputPauses;
            if (nextLine < lines.size()) EXPECT_TRUE(run.giveInput(lines[nextLine++]));
            else run.endInput();
        }
    }
    EXPECT_EQ(run.state(), ConsoleRun::State::Halted);
    outcome.machine = run.machine();
    outcome.executed = run.executed();
    return outcome;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

const char* const EXAMPLES[] = {"saluto", "eco", "conto", "somma", "tabellina", "traccia", "asterischi", "parole"};
const std::uint64_t BUDGETS[] = {1, 2, 3, 5, 16, 1000, 1'000'000};

std::string examplePath(const std::string& name, const char* extension) {
    return std::string(EXAMPLES_DIR) + "/" + name + extension;
}

// tarnsim examples/NAME.bin < NAME.in prints NAME.out; so does the run in
// slices, whatever their size, with the whole input given at once.
TEST(ConsoleRun, PrintsWhatTarnsimPrintsForEveryExampleAtEveryBudget) {
    for (const std::string name : EXAMPLES) {
        const std::vector<Byte> image = assembled(readFile(examplePath(name, ".asm")));
        const std::string input = readFile(examplePath(name, ".in"));
        const std::string expected = readFile(examplePath(name, ".out"));
        for (const std::uint64_t budget : BUDGETS) {
            ConsoleRun run(image, "examples/" + name + ".bin", input);
            run.endInput();
            const Outcome outcome = runToHalt(run, budget);
            EXPECT_EQ(outcome.console, expected) << name << ", budget " << budget;
            EXPECT_EQ(outcome.inputPauses, 0u) << name;
        }
    }
}

// With the input typed a line at a time, when INP asks for it, the console
// is the same as with the whole input at once, and so is the machine.
TEST(ConsoleRun, InputTypedWhenAskedGivesWhatTheWholeInputGives) {
    for (const std::string name : EXAMPLES) {
        const std::vector<Byte> image = assembled(readFile(examplePath(name, ".asm")));
        const std::string input = readFile(examplePath(name, ".in"));
        ConsoleRun whole(image, "x.bin", input);
        whole.endInput();
        const Outcome expected = runToHalt(whole, 1'000'000);
        for (const std::uint64_t budget : BUDGETS) {
            ConsoleRun typed(image, "x.bin");
            const Outcome outcome = runToHalt(typed, budget, linesOf(input));
            EXPECT_EQ(outcome.console, expected.console) << name << ", budget " << budget;
            EXPECT_EQ(outcome.output, expected.output) << name;
            EXPECT_EQ(outcome.executed, expected.executed) << name;
            EXPECT_EQ(std::memcmp(&outcome.machine, &expected.machine, sizeof(MachineState)), 0) << name;
        }
    }
}

// INP asks before it runs: for no word at all, and for a word the input may
// still continue; a word followed by a blank is whole and does not ask.
TEST(ConsoleRun, InpWaitsForAWholeWord) {
    const std::vector<Byte> image = assembled("INP parola\nWRT parola\nRST\nparola: DB 0\n");
    struct Case {
        std::string typedBefore;  // a line end is added when missing
        bool asks;
    };
    const Case cases[] = {{"", true}, {"   ", true}, {"\n\n", true}, {"ab", false}, {"ab\n", false}, {" ab c", false}};
    for (const Case& c : cases) {
        ConsoleRun run(image, "p.bin", c.typedBefore);
        EXPECT_EQ(run.runSlice(100), c.asks ? ConsoleRun::State::NeedsInput : ConsoleRun::State::Halted)
            << "'" << c.typedBefore << "'";
    }
    // Asked for, the word comes with the line typed.
    ConsoleRun run(image, "p.bin");
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::NeedsInput);
    EXPECT_EQ(run.executed(), 0u);
    EXPECT_TRUE(run.giveInput("  ciao"));
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::Halted);
    EXPECT_EQ(run.takeOutput(), "ciao");
    // Input ended: INP stores nothing and the run goes on.
    ConsoleRun ended(image, "p.bin");
    EXPECT_EQ(ended.runSlice(100), ConsoleRun::State::NeedsInput);
    ended.endInput();
    EXPECT_FALSE(ended.giveInput("tardi"));
    EXPECT_EQ(ended.runSlice(100), ConsoleRun::State::Halted);
    EXPECT_EQ(ended.takeOutput(), "");
}

// Under the trace, an INP that finds no word was already fetched and shown:
// after the key it waits for input, and runs with the word given.
TEST(ConsoleRun, TracedInpShownOnceThenWaits) {
    const std::vector<Byte> image = assembled("STD\nINP parola\nCLD\nWRT parola\nRST\nparola: DB 0\n");
    ConsoleRun run(image, "p.bin");
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::Trace);  // STD ran; INP shown
    std::string console = run.takeConsole();
    EXPECT_NE(console.find("ISTRUZIONE DA ESEGUIRE      = INP"), std::string::npos);
    run.pressKey();
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::NeedsInput);
    EXPECT_TRUE(run.takeConsole().empty());  // shown once only
    EXPECT_EQ(run.executed(), 1u);
    EXPECT_TRUE(run.giveInput("eco"));
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::Trace);  // CLD shown
    EXPECT_NE(run.takeConsole().find("= CLD"), std::string::npos);
    run.pressKey();
    EXPECT_EQ(run.runSlice(100), ConsoleRun::State::Halted);
    EXPECT_EQ(run.takeOutput(), "eco");
    EXPECT_EQ(run.takeConsole(), "eco" + std::string(SHUTDOWN_LINES));
}

// A program that prints for ever hands its output over a slice at a time:
// what waits to be taken stays bounded, and a slice returns early for it.
TEST(ConsoleRun, OutputWaitingStaysBounded) {
    const std::vector<Byte> image = assembled("ciclo: WRT testo\nJMP ciclo\ntesto: DB \"0123456789abcdef\", 0\n");
    ConsoleRun run(image, "p.bin");
    run.takeConsole();
    std::uint64_t before = 0;
    for (int slice = 0; slice < 5; ++slice) {
        EXPECT_EQ(run.runSlice(100'000'000), ConsoleRun::State::Running);
        const std::string console = run.takeConsole();
        EXPECT_GE(console.size(), CONSOLE_SLICE_OUTPUT);
        EXPECT_LE(console.size(), CONSOLE_SLICE_OUTPUT + 16 * 16384);
        EXPECT_EQ(run.takeOutput(), console);
        EXPECT_LT(run.executed() - before, 100'000'000u);
        before = run.executed();
    }
}

// The typed input not yet read is bounded; what was read makes room.
TEST(ConsoleRun, PendingInputIsBounded) {
    const std::vector<Byte> image = assembled("ciclo: INP parola\nJMP ciclo\nparola: DB 0\n");
    ConsoleRun run(image, "p.bin");
    const std::string line(MAX_PENDING_INPUT / 2, 'x');
    EXPECT_TRUE(run.giveInput(line));
    EXPECT_FALSE(run.giveInput(line));  // would pass the limit with its line end
    EXPECT_EQ(run.runSlice(1000), ConsoleRun::State::NeedsInput);
    EXPECT_TRUE(run.giveInput(line));
    EXPECT_TRUE(run.giveInput("y"));
}

// The console begins as tarnsim's does, with the name given.
TEST(ConsoleRun, StartsWithTarnsimsLines) {
    ConsoleRun run(std::vector<Byte>{0}, "prova.bin");
    EXPECT_EQ(run.runSlice(10), ConsoleRun::State::Halted);
    EXPECT_EQ(run.takeConsole(), startupBanner() + " Avvio della macchina virtuale simulata...\n"
                                 " Caricamento del programma (prova.bin) da eseguire... \n" +
                                     std::string(RUN_STARTED_LINES) + std::string(SHUTDOWN_LINES));
}


std::string words(std::size_t count, const std::string& last) {
    std::string text;
    for (std::size_t word = 0; word < count; ++word) text += "ab ";
    return text + last;
}

// "Ferma" after some instructions, then the search from where the run
// stood: it finds the loop a search from the very start finds, counted from
// the start, a slice at a time; or why there is none.
TEST(ConsoleRun, ALoopIsFoundFromWhereTheRunWasStopped) {
    const std::string readsThenLoops = "giro:   INP w\n        CMP w, x\n        JPZ resta\n        JMP giro\n"
                                       "resta:  JMP resta\nx:      DB 'x'\nw:      DB 0, 0, 0\n";
    const struct {
        const char* what;
        std::string source;
        std::string input;
        bool ended;
        std::uint64_t stopAfter;
        LoopSearch::Outcome outcome;
    } cases[]{
        {"stopped long after the loop began", afterCountdowns("qui:    JMP qui\n"), "", false, 3'000'000,
         LoopSearch::Outcome::Endless},
        {"stopped before the loop", afterCountdowns("qui:    JMP qui\n"), "", false, 100'000, LoopSearch::Outcome::Endless},
        {"a long period", afterCountdowns(TWO_BYTE_COUNTER), "", false, 1'500'000, LoopSearch::Outcome::Endless},
        // 20 KiB of words read, most of it let go, before the loop.
        {"after the input read", readsThenLoops, words(7000, "x"), false, 2'000'000, LoopSearch::Outcome::Endless},
        {"waiting on ended input", "giro: INP w\n JMP giro\nw: DB 0, 0, 0\n", words(7000, ""), true, 1'000'000,
         LoopSearch::Outcome::Endless},
        {"an INP ahead that will wait", afterCountdowns(" INP w\nqui: JMP qui\nw: DB 0, 0\n"), "", false, 100'000,
         LoopSearch::Outcome::WaitsForInput},
        {"a stop ahead", afterCountdowns(" RST\n"), "", false, 100'000, LoopSearch::Outcome::Stopped},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const std::vector<Byte> image = assembled(item.source);
        ConsoleRun run(image, "p.bin", item.input);
        if (item.ended) run.endInput();
        while (run.executed() < item.stopAfter && run.runSlice(item.stopAfter - run.executed()) == ConsoleRun::State::Running) {
            run.takeConsole();
            run.takeOutput();
        }
        ASSERT_EQ(run.executed(), item.stopAfter);
        ASSERT_TRUE(RunLoopSearch::canStart(run));
        RunLoopSearch search(run);
        constexpr std::uint64_t SLICE = 5000;
        for (std::uint64_t slices = 0; !search.done(); ++slices) {
            ASSERT_LE(search.advance(SLICE), SLICE);
            ASSERT_LT(slices, 100'000u);
        }
        const LoopSearch found = search.result();
        ASSERT_EQ(found.outcome, item.outcome);
        if (item.outcome != LoopSearch::Outcome::Endless) continue;
        // The whole run from the start, searched at once.
        MachineState loaded{};
        loadImage(image, loaded);
        const std::string input = item.input.empty() ? item.input : item.input + "\n";
        const LoopSearch whole = findEndlessLoop({loaded, input, 0, item.ended}, 100'000'000);
        ASSERT_TRUE(whole.loop);
        EXPECT_EQ(found.loop->start, whole.loop->start);
        EXPECT_EQ(found.loop->length, whole.loop->length);
        EXPECT_EQ(found.loop->instructions, whole.loop->instructions);
    }
}

// Only a run between two instructions, neither waiting nor halted, is searched.
TEST(ConsoleRun, ARunThatWaitsOrHasHaltedIsNotSearched) {
    const struct {
        const char* source;
        ConsoleRun::State state;
    } stops[] = {{"INP w\nRST\nw: DB 0\n", ConsoleRun::State::NeedsInput},
                 {"STD\nqui: JMP qui\n", ConsoleRun::State::Trace},
                 {"RST\n", ConsoleRun::State::Halted}};
    for (const auto& stop : stops) {
        ConsoleRun run(assembled(stop.source), "p.bin");
        EXPECT_EQ(run.runSlice(100), stop.state);
        EXPECT_FALSE(RunLoopSearch::canStart(run)) << stop.source;
    }
}

}  // namespace
}  // namespace tarn::debugger
