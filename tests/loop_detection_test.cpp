// Endless loops proved by a repeated state: loops that come back, loops that
// only seem to, input that moves on or has ended, and the budget.
#include "machine/loop_detection.hpp"

#include "assembly/assembler.hpp"
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"

#include "support/loop_programs.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tarn;

namespace {

MachineState machineOf(const std::string& source) {
    const Assembly assembly = assemble(source);
    EXPECT_FALSE(assembly.failed()) << source;
    MachineState state{};
    loadImage(assembly.image, state);
    return state;
}

bool sameState(const MachineState& a, const MachineState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Visit {
    MachineState state;
    std::size_t inputTaken;
};

// The run stepped plainly, every state kept: what the search must agree with.
std::vector<Visit> plainRun(const MachineState& start, const std::string& input, std::size_t steps) {
    MemoryConsole console(input);
    std::vector<Visit> visits{{start, 0}};
    MachineState state = start;
    for (std::size_t step = 0; step < steps && stepMachine(state, console); ++step)
        visits.push_back({state, console.inputTaken()});
    return visits;
}

bool sameVisit(const Visit& a, const Visit& b) {
    return a.inputTaken == b.inputTaken && sameState(a.state, b.state);
}

// The loop found is the first repeat of the plain run: its first state comes
// back after exactly `length` steps, and neither an earlier start nor a
// shorter period does.
void expectFirstRepeat(const MachineState& start, const std::string& input, const EndlessLoop& loop) {
    const auto begin = static_cast<std::size_t>(loop.start);
    const auto length = static_cast<std::size_t>(loop.length);
    const std::vector<Visit> visits = plainRun(start, input, begin + 2 * length);
    ASSERT_EQ(visits.size(), begin + 2 * length + 1);
    const Visit& first = visits[begin];
    EXPECT_TRUE(sameState(first.state, loop.first));
    EXPECT_EQ(first.inputTaken, loop.inputTaken);
    EXPECT_TRUE(sameVisit(first, visits[begin + length]));
    for (std::size_t shorter = 1; shorter < length; ++shorter)
        ASSERT_FALSE(sameVisit(first, visits[begin + shorter])) << shorter;
    if (begin > 0) {
        EXPECT_FALSE(sameVisit(visits[begin - 1], visits[begin - 1 + length]));
    }
    std::array<bool, 256> executed{};
    for (std::size_t step = 0; step < length; ++step) executed[visits[begin + step].state.PC] = true;
    EXPECT_EQ(executed, loop.instructions);
}

std::vector<unsigned> addressesOf(const EndlessLoop& loop) {
    std::vector<unsigned> addresses;
    for (unsigned address = 0; address < 256; ++address)
        if (loop.instructions[address]) addresses.push_back(address);
    return addresses;
}

// "7 7 7 ...": as many words as asked.
std::string manyWords(std::size_t count) {
    std::string words;
    for (std::size_t word = 0; word < count; ++word) words += "7 ";
    return words;
}

constexpr std::uint64_t BUDGET = 1'000'000;

struct Repeating {
    const char* what;
    std::string source;
    std::string input;
    std::uint64_t start;   // where the loop must begin
    std::uint64_t length;  // and how long it must be; 0: only checked against the plain run
    std::vector<unsigned> addresses;
};

TEST(LoopDetection, FindsTheFirstRepeatOfLoopsThatComeBack) {
    const std::vector<Repeating> cases{
        // The first JMP changes IR; from then on nothing changes.
        {"jump to itself", "qui: JMP qui\n", "", 1, 1, {0}},
        {"jump to itself after a start", " NOP\n NOP\nqui: JMP qui\n", "", 3, 1, {2}},
        // Two exchanges bring memory back: four steps, memory different at each.
        {"exchanges", "giro: CPY a, b\n JMP giro\na: DB 1\nb: DB 2\n", "", 1, 4, {0, 3}},
        // INC counts 0..127 and overflows to 0; the flags settle once set.
        {"one-byte counter", "giro: INC conta\n JMP giro\nconta: DB 0\n", "", 0, 256, {0, 2}},
        // Words are read until input ends; the loop without INP after it is endless.
        {"after the input", "giro: INP parola\n CMP parola, fine\n JPZ resta\n JMP giro\nresta: JMP resta\n"
                            "fine: DB 'x'\nparola: DB 0\n",
         "a b x", 12, 1, {9}},
    };
    for (const Repeating& item : cases) {
        SCOPED_TRACE(item.what);
        const MachineState start = machineOf(item.source);
        // All the input given, as a grader's case or a file gives it.
        const LoopSearch search = findEndlessLoop({start, item.input, 0, true}, BUDGET);
        ASSERT_EQ(search.outcome, LoopSearch::Outcome::Endless);
        ASSERT_TRUE(search.loop);
        if (item.length != 0) {
            EXPECT_EQ(search.loop->length, item.length);
            if (item.start != 0 || item.length == 1) {
                EXPECT_EQ(search.loop->start, item.start);
            }
        }
        EXPECT_EQ(addressesOf(*search.loop), item.addresses);
        expectFirstRepeat(start, item.input, *search.loop);
    }
}

using tarn::testing::TWO_BYTE_COUNTER;

TEST(LoopDetection, ALongPeriodIsFoundWithinTheBudgetAndNotBeforeIt) {
    const MachineState start = machineOf(TWO_BYTE_COUNTER);
    const LoopSearch found = findEndlessLoop({start, "", 0}, BUDGET);
    ASSERT_EQ(found.outcome, LoopSearch::Outcome::Endless);
    EXPECT_GT(found.loop->length, 60'000u);
    expectFirstRepeat(start, "", *found.loop);
    // Three passes at most over the budget: the search, the start's, one period.
    EXPECT_LE(found.stepped, 3 * BUDGET);

    const LoopSearch cut = findEndlessLoop({start, "", 0}, found.loop->length / 2);
    EXPECT_EQ(cut.outcome, LoopSearch::Outcome::Unknown);
    EXPECT_FALSE(cut.loop);
    EXPECT_EQ(cut.stepped, found.loop->length / 2);
}

TEST(LoopDetection, RunsThatNeverRepeatAreNotCalledEndless) {
    const struct {
        const char* what;
        std::string source;
        std::string input;
        bool ended;
        LoopSearch::Outcome outcome;
    } cases[]{
        // Every round takes a word: the position grows, and no state comes
        // back while words remain.
        {"counting words", "giro: INP parola\n INC conta\n JMP giro\nconta: DB 0\nparola: DB 0\n",
         manyWords(50'000), true, LoopSearch::Outcome::Unknown},
        // Input that may still grow: a console would wait at the INP that
        // finds no word, so the search ends there.
        {"counting words, more to come", "giro: INP parola\n INC conta\n JMP giro\nconta: DB 0\nparola: DB 0\n",
         manyWords(5000), false, LoopSearch::Outcome::WaitsForInput},
        {"waiting on open input", "giro: INP parola\n JMP giro\nparola: DB 0\n", "", false,
         LoopSearch::Outcome::WaitsForInput},
        {"waiting after blanks", "giro: INP parola\n JMP giro\nparola: DB 0\n", "  \n ", false,
         LoopSearch::Outcome::WaitsForInput},
        {"a word not yet ended", "giro: INP parola\n JMP giro\nparola: DB 0, 0, 0\n", "ab", false,
         LoopSearch::Outcome::WaitsForInput},
        {"stopping", " INC conta\n RST\nconta: DB 0\n", "", true, LoopSearch::Outcome::Stopped},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const LoopSearch search = findEndlessLoop({machineOf(item.source), item.input, 0, item.ended}, 100'000);
        EXPECT_EQ(search.outcome, item.outcome);
        EXPECT_FALSE(search.loop);
    }
}

TEST(LoopDetection, InputThatHasEndedForGoodMakesWaitingOnItALoop) {
    // With no more input to come, an INP that finds nothing is an ordinary
    // step: waiting on it for ever is a loop of two steps (INP, JMP).
    const MachineState start = machineOf("giro: INP parola\n JMP giro\nparola: DB 0\n");
    const LoopSearch open = findEndlessLoop({start, "ab", 0, false}, 10'000);
    EXPECT_EQ(open.outcome, LoopSearch::Outcome::WaitsForInput);
    const LoopSearch ended = findEndlessLoop({start, "ab", 0, true}, 10'000);
    ASSERT_EQ(ended.outcome, LoopSearch::Outcome::Endless);
    EXPECT_EQ(ended.loop->length, 2u);
    EXPECT_EQ(ended.loop->inputTaken, 2u);
    // From the state after the word is read: every later INP finds nothing
    // and changes nothing, so the state after each is that one again.
    EXPECT_EQ(ended.loop->start, 1u);
    // A loop that takes a word every round is no repeat, ended or not.
    const LoopSearch words = findEndlessLoop(
        {machineOf("giro: INP parola\n INC conta\n JMP giro\nconta: DB 0\nparola: DB 0\n"), manyWords(5000), 0, true},
        10'000);
    EXPECT_EQ(words.outcome, LoopSearch::Outcome::Unknown);
}

TEST(LoopDetection, AnINPThatFindsNothingInEndedInputIsAStep) {
    // One INP that finds nothing, then a jump to itself: the loop is
    // counted from the very first step.
    const MachineState start = machineOf(" INP parola\nqui: JMP qui\nparola: DB 0\n");
    const LoopSearch search = findEndlessLoop({start, " ", 0, true}, 1000);
    ASSERT_EQ(search.outcome, LoopSearch::Outcome::Endless);
    EXPECT_EQ(search.loop->start, 2u);
    EXPECT_EQ(search.loop->length, 1u);
    EXPECT_EQ(search.loop->inputTaken, 1u);
}

TEST(LoopDetection, StartsFromAnyStateAndInputPosition) {
    // Halfway through a run, with some input already taken: the loop is
    // counted from there.
    const std::string source = "giro: INP parola\n CMP parola, fine\n JPZ resta\n JMP giro\nresta: JMP resta\n"
                               "fine: DB 'x'\nparola: DB 0\n";
    const std::string input = "a x";
    const std::vector<Visit> visits = plainRun(machineOf(source), input, 4);
    ASSERT_EQ(visits.back().inputTaken, 1u);
    const LoopSearch fromStart = findEndlessLoop({visits.front().state, input, 0, true}, 1000);
    const LoopSearch fromMiddle = findEndlessLoop({visits.back().state, input, visits.back().inputTaken, true}, 1000);
    ASSERT_TRUE(fromStart.loop && fromMiddle.loop);
    EXPECT_EQ(fromMiddle.loop->start + 4, fromStart.loop->start);
    EXPECT_EQ(fromMiddle.loop->length, fromStart.loop->length);
    EXPECT_TRUE(sameState(fromMiddle.loop->first, fromStart.loop->first));

    // Past the end of the input, the position is only the end.
    const LoopSearch beyond = findEndlessLoop({machineOf("qui: JMP qui\n"), "ab", 99}, 10);
    EXPECT_EQ(beyond.loop->inputTaken, 2u);
    EXPECT_EQ(findEndlessLoop({machineOf("qui: JMP qui\n"), "", 0}, 0).outcome, LoopSearch::Outcome::Unknown);
}

TEST(LoopDetection, EveryByteOfTheStateAndTheInputPositionTellsTwoStatesApart) {
    // Two points that differ in one byte of the 262, or in the input
    // position alone: no comparison of the search may call them the same,
    // neither sameState nor Brent's watch, which must still see the same
    // point again as a return. Without X, a program that only moves X until
    // it finds a 0 would be stopped as endless, though it ends.
    const MachineState base = machineOf(TWO_BYTE_COUNTER);
    for (std::size_t byte = 0; byte <= sizeof(MachineState); ++byte) {
        SCOPED_TRACE(byte == sizeof(MachineState) ? std::string("input position") : "byte " + std::to_string(byte));
        MachineState other = base;
        std::size_t otherTaken = 3;
        if (byte < sizeof(MachineState))
            reinterpret_cast<unsigned char*>(&other)[byte] ^= 0x5A;
        else
            otherTaken = 4;
        EXPECT_FALSE(sameState(base, 3, other, otherTaken));
        EXPECT_TRUE(sameState(other, otherTaken, other, otherTaken));
        RepeatWatch watch({base, 3, 0});
        EXPECT_FALSE(watch.next(other, otherTaken));
        ASSERT_TRUE(watch.next(other, otherTaken));
        EXPECT_EQ(watch.period(), 1u);
        EXPECT_EQ(watch.tortoise().at, 1u);
    }
}

TEST(LoopDetection, ASlicedSearchStepsNoMoreThanItsSliceAndFindsWhatAWholeOneFinds) {
    const MachineState start = machineOf(TWO_BYTE_COUNTER);
    const LoopSearch whole = findEndlessLoop({start, "", 0, true}, BUDGET);
    ASSERT_TRUE(whole.loop);
    // Far into a run: the search counts from there. From the start of the
    // loop's run, 2^40 instructions in; then from inside the loop, looking
    // back to that start.
    constexpr std::uint64_t FAR = std::uint64_t{1} << 40;
    const std::vector<Visit> visits =
        plainRun(start, "", static_cast<std::size_t>(whole.loop->start + whole.loop->length + 1000));
    const Visit& inside = visits.back();
    const std::uint64_t insideAt = FAR + visits.size() - 1;
    const struct {
        const char* what;
        std::function<std::unique_ptr<SlicedLoopSearch>()> make;
    } cases[]{
        {"from the start", [&] { return std::make_unique<SlicedLoopSearch>(LoopSearchStart{start, "", 0, true}, BUDGET, FAR); }},
        {"from inside the loop",
         [&] {
             return std::make_unique<SlicedLoopSearch>(LoopSearchStart{inside.state, "", 0, true}, BUDGET, insideAt,
                                                       std::vector<RunPoint>{{start, 0, FAR}});
         }},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const std::unique_ptr<SlicedLoopSearch> search = item.make();
        constexpr std::uint64_t SLICE = 1000;
        std::uint64_t slices = 0;
        while (!search->done()) {
            ASSERT_LE(search->advance(SLICE), SLICE);
            ASSERT_LT(++slices, 10'000u);
        }
        const LoopSearch found = search->result();
        ASSERT_EQ(found.outcome, LoopSearch::Outcome::Endless);
        EXPECT_EQ(found.loop->start, FAR + whole.loop->start);
        EXPECT_EQ(found.loop->length, whole.loop->length);
        EXPECT_EQ(found.loop->instructions, whole.loop->instructions);
        EXPECT_TRUE(sameState(found.loop->first, found.loop->inputTaken, whole.loop->first, whole.loop->inputTaken));
    }
}

}  // namespace
