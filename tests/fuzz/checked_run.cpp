#include "checked_run.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "reference/reference_machine.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace tarnfuzz {

using tarn::Byte;
using tarn::MachineState;
using tarn::MemoryConsole;

namespace {

std::string hexByte(Byte value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned{value});
    return text;
}

// The name of a position of the 262-byte record.
std::string positionName(std::size_t position) {
    if (position == 0) return "F";
    if (position <= 256) return "M[" + std::to_string(position - 1) + "]";
    static constexpr const char* REGISTERS[] = {"PC", "IR", "A", "B", "X"};
    return REGISTERS[position - 257];
}

const Byte* bytesOf(const MachineState& state) {
    return reinterpret_cast<const Byte*>(&state);
}

// Compared eight bytes at a time: this runs after every instruction, and
// stays clear of the memcmp interceptors of the sanitizers and the fuzzer.
// Both ranges always lie inside live objects, so the sanitizers need not
// check each load and each pointer step of it.
__attribute__((no_sanitize("address", "undefined")))
bool sameBytes(const void* left, const void* right, std::size_t size) {
    const auto* l = static_cast<const unsigned char*>(left);
    const auto* r = static_cast<const unsigned char*>(right);
    std::uint64_t differing = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, l + i, 8);
        std::memcpy(&b, r + i, 8);
        differing |= a ^ b;
    }
    for (; i < size; ++i) differing |= static_cast<std::uint64_t>(l[i] ^ r[i]);
    return differing == 0;
}

bool sameState(const MachineState& left, const MachineState& right) {
    return sameBytes(&left, &right, sizeof left);
}

// Every position where the two states differ (the first few of them).
std::string stateDifference(const MachineState& real, const MachineState& expected) {
    std::string text;
    int shown = 0;
    for (std::size_t position = 0; position < sizeof(MachineState); ++position) {
        const Byte got = bytesOf(real)[position];
        const Byte want = bytesOf(expected)[position];
        if (got == want) continue;
        if (shown == 8) {
            text += ", ...";
            break;
        }
        if (shown++ > 0) text += ", ";
        text += positionName(position) + " is " + hexByte(got) + " instead of " + hexByte(want);
    }
    return text;
}

// A stretch of output, with anything unprintable escaped.
std::string excerpt(const std::string& text, std::size_t from) {
    constexpr std::size_t LENGTH = 48;
    std::string shown = "\"";
    for (std::size_t i = from; i < text.size() && i < from + LENGTH; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') shown += "\\n";
        else if (c == '"' || c == '\\') shown += {'\\', static_cast<char>(c)};
        else if (c >= 0x20 && c < 0x7F) shown += static_cast<char>(c);
        else shown += "\\x" + hexByte(c).substr(2);
    }
    shown += from + LENGTH < text.size() ? "\"..." : "\"";
    return shown;
}

// Where two outputs part, known to agree on their first `agreed` bytes.
std::string outputDifference(const std::string& real, const std::string& expected, std::size_t agreed) {
    std::size_t at = agreed;
    while (at < real.size() && at < expected.size() && real[at] == expected[at]) ++at;
    return "output differs from byte " + std::to_string(at) + ": printed " + excerpt(real, at) + ", expected " +
           excerpt(expected, at) + " (" + std::to_string(real.size()) + " bytes printed, " +
           std::to_string(expected.size()) + " expected)";
}

// One way of driving the machine, kept in step with the reference.
struct Driven {
    const char* how;
    MachineState state;
    MemoryConsole console;
};

// Whether a driven machine agrees with the reference. Output before
// `agreed` has been compared already.
bool agrees(const Driven& driven, const tarnref::ReferenceRun& reference, std::size_t agreed) {
    const std::string& printed = driven.console.output();
    const std::string& expected = reference.output;
    return sameState(driven.state, reference.state) && printed.size() == expected.size() &&
           sameBytes(printed.data() + agreed, expected.data() + agreed, expected.size() - agreed) &&
           driven.console.inputTaken() == reference.inputPosition;
}

// What differs between a driven machine and the reference.
std::string difference(const Driven& driven, const tarnref::ReferenceRun& reference, std::size_t agreed) {
    if (!sameState(driven.state, reference.state)) return stateDifference(driven.state, reference.state);
    const std::string& printed = driven.console.output();
    const std::string& expected = reference.output;
    if (printed.size() != expected.size() ||
        !sameBytes(printed.data() + agreed, expected.data() + agreed, expected.size() - agreed))
        return outputDifference(printed, expected, agreed);
    if (driven.console.inputTaken() != reference.inputPosition)
        return "took " + std::to_string(driven.console.inputTaken()) + " bytes of input instead of " +
               std::to_string(reference.inputPosition);
    return "nothing";
}

// A program image and its input, as a checked run was given them.
struct Program {
    const Byte* image;
    std::size_t length;
    std::string input;
};

tarnref::ReferenceRun startReference(const Program& program) {
    tarnref::ReferenceRun reference;
    reference.input = program.input;
    tarnref::loadReference(reference, program.image, program.length);
    return reference;
}

// The instruction that a step ran, with its operands and the registers before
// it. Only a report needs it, so the state before the step is found again by
// running the reference from the start.
std::string stepName(const Program& program, unsigned step) {
    tarnref::ReferenceRun reference = startReference(program);
    tarnref::runReference(reference, step);
    const MachineState& s = reference.state;
    const Byte opcode = s.M[s.PC];
    const unsigned length = opcode / 64u + 1u;
    std::string text = "step " + std::to_string(step) + " (" + std::string(tarnref::mnemonicName(opcode)) +
                       ", opcode " + std::to_string(opcode) + ", at address " + std::to_string(s.PC);
    // The operands as the fetch reads them: past 255 from PC, then from IR,
    // which by then holds the opcode.
    auto operand = [&](unsigned address) {
        return std::to_string(address == 257 ? opcode : tarnref::readAddress(s, address));
    };
    if (length == 2 || length == 3) text += ", A=" + operand(s.PC + 1u);
    if (length == 3) text += " B=" + operand(s.PC + 2u);
    text += "; before it F=" + hexByte(s.F);
    if (length != 2 && length != 3) text += " A=" + std::to_string(s.A);
    if (length != 3) text += " B=" + std::to_string(s.B);
    return text + " X=" + std::to_string(s.X) + ")";
}

// The run loop in one piece ended elsewhere than the reference: finds the
// first instruction after which they part by running both again from the
// start for 1, 2, 3... instructions (slow, but only ever done for a report).
std::string wholeRunDifference(const Program& program, const MachineState& loaded, std::uint64_t limit,
                               std::uint64_t ran, unsigned executed) {
    const std::string how = "runMachineFor in one piece";
    for (unsigned count = 1; count <= executed; ++count) {
        Driven whole{"", loaded, MemoryConsole(program.input, MemoryConsole::Traces::Kept)};
        const std::uint64_t wholeRan = tarn::runMachineFor(whole.state, whole.console, count);
        tarnref::ReferenceRun reference = startReference(program);
        tarnref::runReference(reference, count);
        if (wholeRan != count)
            return stepName(program, count - 1) + ", " + how + ": stopped after " + std::to_string(wholeRan) +
                   " instructions";
        if (!agrees(whole, reference, 0))
            return stepName(program, count - 1) + ", " + how + " for " + std::to_string(count) +
                   " instructions: " + difference(whole, reference, 0);
    }
    if (ran != executed)
        return how + " with a limit of " + std::to_string(limit) + " executed " + std::to_string(ran) +
               " instructions, the reference " + std::to_string(executed);
    return how + ": differs after " + std::to_string(executed) + " instructions, but not when run again";
}

bool clearsFlags(Byte opcode) {
    return opcode >= 7 && opcode <= 11;  // CLD, CLZ, CLO, CLP, CLN
}

}  // namespace

std::string checkedRun(const std::uint8_t* data, std::size_t size, unsigned maxSteps, unsigned maxTraces) {
    std::size_t imageLength = 0;
    if (size >= 2) {
        imageLength = (std::size_t{data[0]} | std::size_t{data[1]} << 8) % 257;
        data += 2;
        size -= 2;
    } else {
        size = 0;
    }
    imageLength = std::min(imageLength, size);
    const std::string input(reinterpret_cast<const char*>(data) + imageLength, size - imageLength);

    const Program program{data, imageLength, input};
    tarnref::ReferenceRun reference = startReference(program);

    MachineState loaded{};
    if (!tarn::loadImage({data, imageLength}, loaded)) return "the image did not load whole";
    if (!sameState(loaded, reference.state))
        return "after loading the image: " + stateDifference(loaded, reference.state);

    Driven stepped{"stepMachine", loaded, MemoryConsole(input, MemoryConsole::Traces::Kept)};
    Driven looped{"runMachineFor(1)", loaded, MemoryConsole(input, MemoryConsole::Traces::Kept)};

    std::size_t agreed = 0;  // output compared so far
    unsigned executed = 0;
    unsigned traces = 0;
    bool stopped = false;
    for (unsigned step = 0; step < maxSteps && traces < maxTraces; ++step) {
        const Byte flagsBefore = reference.state.F;
        const Byte opcode = reference.state.M[reference.state.PC];
        const bool ran = tarnref::referenceStep(reference);

        const bool steppedRan = tarn::stepMachine(stepped.state, stepped.console);
        if (steppedRan != ran)
            return stepName(program, step) + ": stepMachine " + (ran ? "stopped" : "ran an instruction") +
                   ", the reference " + (ran ? "ran it" : "stopped");
        const std::uint64_t loopedRan = tarn::runMachineFor(looped.state, looped.console, 1);
        if (loopedRan != (ran ? 1u : 0u))
            return stepName(program, step) + ": runMachineFor(1) executed " + std::to_string(loopedRan) +
                   " instructions, the reference " + (ran ? "1" : "0");

        for (const Driven* driven : {&stepped, &looped})
            if (!agrees(*driven, reference, agreed))
                return stepName(program, step) + ", " + driven->how + ": " + difference(*driven, reference, agreed);
        if (!ran) {
            stopped = true;
            break;
        }
        ++executed;
        if (flagsBefore & 0x01) ++traces;  // the fetch left F as it was
        agreed = reference.output.size();

        // Two things the model must keep by itself: no bit above N is ever
        // set, and only the CLx instructions clear one.
        if (reference.state.F & 0xE0) return stepName(program, step) + ": the reference set a flag above N";
        if (!clearsFlags(opcode) && (flagsBefore & ~reference.state.F))
            return stepName(program, step) + ": the reference cleared a flag";
    }

    // The run loop in one piece, from the start, for as many instructions as
    // the steps executed (one more when the machine stopped, which it must
    // then do by itself).
    Driven whole{"runMachineFor in one piece", loaded, MemoryConsole(input, MemoryConsole::Traces::Kept)};
    const std::uint64_t limit = stopped ? executed + 1u : executed;
    const std::uint64_t wholeRan = tarn::runMachineFor(whole.state, whole.console, limit);
    if (wholeRan != executed || !agrees(whole, reference, 0))
        return wholeRunDifference(program, loaded, limit, wholeRan, executed);
    return "";
}

}  // namespace tarnfuzz
