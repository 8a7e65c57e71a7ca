#include "machine/loop_detection.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {

constexpr Byte INP_OPCODE = findInstruction("INP")->opcode;

// A console that reads from a given position of the input and drops
// everything the machine shows: the search only looks at states.
class QuietConsole final : public Console {
public:
    explicit QuietConsole(std::string_view input) { setInputBlock(input.data(), input.data() + input.size()); }

    void writeOutput(std::string_view) override {}
    void showTrace(std::string_view) override {}

    std::size_t taken() const { return inputBlockTaken(); }
    void moveTo(std::size_t taken) { setInputBlockTaken(taken); }

private:
    bool readInputBlock() override { return false; }  // all of it was there from the start
};

// The machine and where its input stands: what decides everything it does next.
struct Point {
    MachineState state;
    std::size_t inputTaken;
};

bool samePoint(const Point& a, const Point& b) {
    // PC first: two states of a run seldom differ in it alone, and comparing
    // it costs nothing.
    return a.state.PC == b.state.PC && a.inputTaken == b.inputTaken &&
           std::memcmp(&a.state, &b.state, sizeof(MachineState)) == 0;
}

enum class Step {
    Ran,
    Stopped,  // opcode 0 at PC: nothing was executed
    Starved,  // an INP found no word left
};

class Stepper {
public:
    Stepper(std::string_view input, bool inputEnded) : input_(input), inputEnded_(inputEnded), console_(input) {}

    Step advance(Point& point) {
        console_.moveTo(point.inputTaken);
        const bool starved = !inputEnded_ && point.state.M[point.state.PC] == INP_OPCODE &&
                             nextInputWord(input_.substr(point.inputTaken)).text.empty();
        if (!stepMachine(point.state, console_)) return Step::Stopped;
        point.inputTaken = console_.taken();
        ++stepped_;
        return starved ? Step::Starved : Step::Ran;
    }

    std::uint64_t stepped() const { return stepped_; }

private:
    std::string_view input_;
    bool inputEnded_;
    QuietConsole console_;
    std::uint64_t stepped_ = 0;
};

}  // namespace

LoopSearch findEndlessLoop(const LoopSearchStart& from, std::uint64_t budget) {
    Stepper stepper(from.input, from.inputEnded);
    LoopSearch search;

    // Brent: the hare runs ahead; the tortoise waits at the hare's position
    // each time the distance reaches a power of two. They meet as soon as the
    // distance is the period and the tortoise is inside the loop.
    Point origin{from.state, std::min(from.inputTaken, from.input.size())};
    std::uint64_t originAt = 0;  // instructions executed before the origin
    Point tortoise = origin;
    Point hare = origin;
    std::uint64_t hareAt = 0;
    std::uint64_t power = 1;
    std::uint64_t distance = 0;
    for (;;) {
        if (hareAt >= budget) {
            search.stepped = stepper.stepped();
            return search;
        }
        const Step step = stepper.advance(hare);
        if (step == Step::Stopped) {
            search.outcome = LoopSearch::Outcome::Stopped;
            search.stepped = stepper.stepped();
            return search;
        }
        ++hareAt;
        if (step == Step::Starved) {
            // The next word could still come: what went before proves nothing.
            origin = hare;
            originAt = hareAt;
            tortoise = hare;
            power = 1;
            distance = 0;
            continue;
        }
        ++distance;
        if (samePoint(tortoise, hare)) break;
        if (distance == power) {
            tortoise = hare;
            power *= 2;
            distance = 0;
        }
    }
    const std::uint64_t length = distance;

    // The loop's first state: from the origin, a hare `length` steps ahead
    // meets the tortoise exactly there.
    tortoise = origin;
    hare = origin;
    for (std::uint64_t step = 0; step < length; ++step) stepper.advance(hare);
    std::uint64_t start = 0;
    while (!samePoint(tortoise, hare)) {
        stepper.advance(tortoise);
        stepper.advance(hare);
        ++start;
    }

    EndlessLoop loop;
    loop.start = originAt + start;
    loop.length = length;
    loop.first = tortoise.state;
    loop.inputTaken = tortoise.inputTaken;
    for (std::uint64_t step = 0; step < length; ++step) {
        loop.instructions[tortoise.state.PC] = true;
        stepper.advance(tortoise);
    }
    search.outcome = LoopSearch::Outcome::Endless;
    search.loop = loop;
    search.stepped = stepper.stepped();
    return search;
}

std::string describeEndlessLoop(std::uint64_t start, std::uint64_t length) {
    return "ciclo infinito: dal passo " + std::to_string(start) + " la macchina ripete " +
           (length == 1 ? std::string("sempre lo stesso passo") : "gli stessi " + std::to_string(length) + " passi");
}

}  // namespace tarn
