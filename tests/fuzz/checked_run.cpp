#include "checked_run.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "machine/trace_display.hpp"

#include <cstring>

namespace tarnfuzz {

using namespace tarn;

namespace {

std::string describe(const char* what, unsigned step, const MachineState& fetched) {
    return std::string(what) + " at step " + std::to_string(step) + ", opcode " + std::to_string(fetched.IR) +
           ", PC after fetch " + std::to_string(fetched.PC);
}

}  // namespace

std::string checkedRun(const std::uint8_t* data, std::size_t size, unsigned maxSteps) {
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

    MachineState state{};
    if (!loadImage({data, imageLength}, state)) return "the image did not load whole";
    if (imageLength > 0 && std::memcmp(state.M, data, imageLength) != 0) return "the image was not copied unaltered";
    const MachineState loaded = state;

    MemoryConsole console(input, MemoryConsole::Traces::Kept);
    std::size_t outputBefore = 0;
    unsigned executed = 0;
    for (unsigned step = 0; step < maxSteps; ++step, ++executed) {
        const MachineState before = state;
        const std::size_t inputBefore = console.inputTaken();

        // What the fetch must give, and what WRT must then print.
        MachineState fetched = state;
        fetchInstruction(fetched);
        std::string printed;
        if (fetched.IR == 71)
            for (unsigned address = fetched.A; readByte(fetched, address) != 0; ++address)
                printed += static_cast<char>(readByte(fetched, address));

        const bool ran = stepMachine(state, console);
        if (!ran) {
            if (before.M[before.PC] != 0) return "the machine stopped on a nonzero opcode";
            if (std::memcmp(&before, &state, sizeof state) != 0) return "a stopped machine changed";
            break;
        }
        if (before.M[before.PC] == 0) return "the machine ran past opcode 0";

        // Output comes only from the trace display and WRT.
        std::string output = console.output().substr(outputBefore);
        outputBefore = console.output().size();
        if (fetched.F & FLAG_D) {
            const std::string display = traceDisplay(fetched);
            if (output.compare(0, display.size(), display) != 0)
                return describe("the trace display is malformed", step, fetched);
            output.erase(0, display.size());
        }
        if (output != printed) return describe("output other than the WRT string", step, fetched);

        // Only INP reads input.
        if (fetched.IR != 70 && console.inputTaken() != inputBefore)
            return describe("input read by an instruction other than INP", step, fetched);

        // Flags: no bit above N is ever set, and only the CLx instructions clear one.
        if (state.F & 0xE0) return describe("a flag bit above N is set", step, fetched);
        const bool clears = fetched.IR >= 7 && fetched.IR <= 11;
        if (!clears && (fetched.F & ~state.F)) return describe("a flag was cleared", step, fetched);

        // An instruction no unit executes changes nothing after the fetch.
        if (unitByOpcode[fetched.IR] == Unit::None && std::memcmp(&fetched, &state, sizeof state) != 0)
            return describe("an unassigned opcode changed the machine", step, fetched);
    }
    // The run loop itself, which keeps its own fast path for each opcode,
    // must do exactly what the same number of single steps did.
    MachineState looped = loaded;
    MemoryConsole loopConsole(input, MemoryConsole::Traces::Kept);
    const std::uint64_t loopExecuted = runMachineFor(looped, loopConsole, executed);
    if (loopExecuted != executed) return "the run loop executed a different number of instructions";
    if (std::memcmp(&looped, &state, sizeof looped) != 0) return "the run loop left another machine state";
    if (loopConsole.output() != console.output()) return "the run loop printed something else";
    return "";
}

}  // namespace tarnfuzz
