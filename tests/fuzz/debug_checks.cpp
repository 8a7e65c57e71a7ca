#include "fuzz/debug_checks.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "debugger/forward_run.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"

#include <cstring>
#include <vector>

namespace tarnfuzz {

namespace {

using tarn::Byte;
using tarn::MachineState;
using tarn::RanInstruction;
using tarn::ranInstruction;
using tarn::rewrittenByProgram;
using namespace tarn::debugger;

// The whole run stays short, so that every check can start from scratch.
constexpr std::uint64_t MOST_INSTRUCTIONS = 4000;
constexpr std::size_t MOST_COMMANDS = 64;

std::string compare(const Session& session, const std::vector<Byte>& image, const std::string& input) {
    MachineState state{};
    tarn::loadImage(image, state);
    tarn::MemoryConsole console(input);
    const std::uint64_t ran = tarn::runMachineFor(state, console, session.position());
    const std::string at = " at position " + std::to_string(session.position());
    if (ran != session.position()) return "the plain run stopped after " + std::to_string(ran) + at;
    if (std::memcmp(&state, &session.machine(), sizeof state) != 0) return "the machine differs" + at;
    if (session.output() != console.output()) return "the output differs" + at;
    if (session.pendingInput() != std::string_view(input).substr(console.inputTaken()))
        return "the unread input differs" + at;
    if (const MachineState* previous = session.previous()) {
        for (unsigned address = 0; address < 256; ++address) {
            const Byte a = static_cast<Byte>(address);
            if (previous->M[address] != session.machine().M[address] && !session.changedByLastStep(a))
                return "byte " + std::to_string(address) + " changed but has no writer in the last step" + at;
        }
    }
    for (unsigned address = 0; address < 256; ++address)
        if (session.lastWrite(static_cast<Byte>(address)).step > session.position())
            return "byte " + std::to_string(address) + " has a writer in the future" + at;
    return {};
}

// A forward run that looks for endless loops, in stretches of 64, each with
// at most its slice of the search; a loop it proves must be one: its first
// state comes back after one period, input included, and the run stops on
// the first return after its start.
std::string checkForwardRun(Session& session, std::uint64_t budget, RunResult& result) {
    const std::uint64_t from = session.position();
    ForwardRun run(session);
    std::uint64_t ran = 0;
    do {
        const std::uint64_t searched = run.searchSteps();
        result = run.stretch(std::min<std::uint64_t>(64, budget - ran));
        ran += result.steps;
        if (run.searchSteps() - searched > MIN_LOOP_SEARCH_SLICE) return "the search ran past its slice in a stretch";
    } while (result.reason == StopReason::Budget && ran < budget);
    if (result.reason != StopReason::EndlessLoop) return {};
    const std::optional<ProvedLoop> loop = session.endlessLoop();
    if (!loop || loop->length == 0) return "a loop stop without a loop";
    const std::uint64_t stop = session.position();
    if (stop != std::max(loop->start + loop->length, from + loop->length)) return "the loop stop is not its first return";
    session.goTo(loop->start);
    const MachineState first = session.machine();
    const std::size_t unread = session.pendingInput().size();
    session.goTo(loop->start + loop->length);
    if (std::memcmp(&first, &session.machine(), sizeof first) != 0 || unread != session.pendingInput().size())
        return "the loop's first state does not come back after one period";
    // Rewritten: exactly the period's instructions whose bytes there are not the image's.
    std::vector<RanInstruction> rewritten;
    for (unsigned address = 0; address < 256; ++address) {
        const RanInstruction ran = ranInstruction(first, static_cast<Byte>(address));
        if (loop->instructions[address] && rewrittenByProgram(ran, session.program().image)) rewritten.push_back(ran);
    }
    if (rewritten != loop->rewritten) return "the loop's rewritten instructions are not those that differ from the image";
    session.goTo(stop);
    return {};
}

// The instruction a step ran, done again from a snapshot, is the one the
// machine had at PC before that step.
std::string checkStepInstruction(Session& session, Byte argument) {
    const std::uint64_t at = session.position();
    if (at == 0) return {};
    const std::uint64_t step = 1 + argument % at;
    const RanInstruction replayed = session.instructionOfStep(step);
    session.goTo(step - 1);
    const bool same = replayed == ranInstruction(session.machine(), session.machine().PC);
    session.goTo(at);
    return same ? std::string() : "the instruction of step " + std::to_string(step) + " is not the one that ran";
}

}  // namespace

std::string checkSession(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    const auto next = [&]() -> Byte { return at < size ? data[at++] : Byte{0}; };
    const std::size_t imageLength = std::min<std::size_t>(next(), size - std::min(size, at));
    const std::vector<Byte> image(data + at, data + at + imageLength);
    at += imageLength;
    const std::size_t inputLength = std::min<std::size_t>(next(), size - std::min(size, at));
    const std::string input(reinterpret_cast<const char*>(data) + at, inputLength);
    at += inputLength;

    Session session(programFromImage("fuzz.bin", image), input);
    for (std::size_t command = 0; command < MOST_COMMANDS && at < size; ++command) {
        const Byte op = next();
        const Byte argument = next();
        const std::uint64_t room = MOST_INSTRUCTIONS - std::min(MOST_INSTRUCTIONS, session.furthest());
        RunResult result;
        switch (op % 8) {
            case 0:
                if (room > 0) session.step();
                break;
            case 1: session.stepBack(); break;
            case 2:
                if (argument & 1) {
                    if (std::string failure = checkForwardRun(session, std::min<std::uint64_t>(room, argument * 16u), result);
                        !failure.empty())
                        return failure;
                } else {
                    result = session.runForward(std::min<std::uint64_t>(room, argument * 16u));
                }
                break;
            case 3: result = session.runBackward(); break;
            case 4: session.goTo(session.furthest() * argument / 255); break;
            case 5: session.toggleBreakpoint(argument); break;
            case 6: session.toggleWatchpoint(argument); break;
            default: session.restart(); break;
        }
        if (session.furthest() > MOST_INSTRUCTIONS) return "ran past the bound";
        // Every message, for faults in building them.
        (void)describeStop(session, result);
        (void)describeLastWrite(session, argument);
        (void)session.warnings();
        (void)session.nextAccess();
        if (std::string failure = compare(session, image, input); !failure.empty()) return failure;
        if (std::string failure = checkStepInstruction(session, argument); !failure.empty()) return failure;
    }
    return {};
}

}  // namespace tarnfuzz
