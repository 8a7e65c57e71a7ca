#include "checked_run.hpp"

#include "machine/console_input.hpp"
#include "machine/console_key.hpp"
#include "machine/console_output.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "machine/trace_display.hpp"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace tarnfuzz {

using namespace tarn;

namespace {

// Image, input and output live in memory files, made once per process.
struct Files {
    int image = ::memfd_create("image", 0);
    int input = ::memfd_create("input", 0);
    int output = ::memfd_create("output", 0);
    int loopOutput = ::memfd_create("loop output", 0);
};

Files& files() {
    static Files made;
    return made;
}

void refill(int fd, const std::uint8_t* data, std::size_t size) {
    ::ftruncate(fd, 0);
    ::lseek(fd, 0, SEEK_SET);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) break;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    ::lseek(fd, 0, SEEK_SET);
}

// Everything written to the output file from offset `from` up to `end`.
std::string outputBetween(off_t from, off_t end) {
    std::string text(static_cast<std::size_t>(end - from), '\0');
    if (!text.empty() && ::pread(files().output, text.data(), text.size(), from) != static_cast<ssize_t>(text.size()))
        return "<unreadable>";
    return text;
}

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

    Files& f = files();
    refill(f.image, data, imageLength);
    refill(f.input, data + imageLength, size - imageLength);
    refill(f.output, nullptr, 0);
    redirectInput(f.input);
    redirectOutput(f.output);
    setKeyDevice(nullptr);

    MachineState state{};
    const std::string imagePath = "/proc/self/fd/" + std::to_string(f.image);
    const LoadReport report = loadProgram(imagePath, state);
    if (!report.opened || report.truncated) return "the image did not load whole";
    if (std::memcmp(state.M, data, imageLength) != 0) return "the image was not copied unaltered";

    off_t outputBefore = 0;
    off_t inputBefore = 0;
    unsigned executed = 0;
    for (unsigned step = 0; step < maxSteps; ++step, ++executed) {
        const MachineState before = state;

        // What the fetch must give, and what WRT must then print.
        MachineState fetched = state;
        fetchInstruction(fetched);
        std::string printed;
        if (fetched.IR == 71)
            for (unsigned address = fetched.A; readByte(fetched, address) != 0; ++address)
                printed += static_cast<char>(readByte(fetched, address));

        const bool ran = stepMachine(state);
        if (!ran) {
            if (before.M[before.PC] != 0) return "the machine stopped on a nonzero opcode";
            if (std::memcmp(&before, &state, sizeof state) != 0) return "a stopped machine changed";
            break;
        }
        if (before.M[before.PC] == 0) return "the machine ran past opcode 0";

        // Output comes only from the trace display and WRT.
        const off_t outputAfter = ::lseek(f.output, 0, SEEK_CUR);
        std::string output = outputBetween(outputBefore, outputAfter);
        outputBefore = outputAfter;
        if (fetched.F & FLAG_D) {
            const std::string header = "\n----------------------------- Virtual Processor State ------------------------\n"
                                       "PROSSIMA ISTRUZIONE         = " + std::to_string(fetched.PC) + "\n";
            const std::string footer = "ISTRUZIONE DA ESEGUIRE      = " + std::string(mnemonicText(fetched.IR)) + "\n";
            const std::size_t end = output.find(std::string(78, '-') + "\n\n");
            if (output.compare(0, header.size(), header) != 0 || end == std::string::npos ||
                output.find(footer) > end)
                return describe("the trace display is malformed", step, fetched);
            output.erase(0, end + 80);
        }
        if (output != printed) return describe("output other than the WRT string", step, fetched);

        // Only INP reads standard input.
        const off_t inputAfter = ::lseek(f.input, 0, SEEK_CUR);
        if (fetched.IR != 70 && inputAfter != inputBefore)
            return describe("input read by an instruction other than INP", step, fetched);
        inputBefore = inputAfter;

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
    const MachineState stepped = state;
    const std::string steppedOutput = outputBetween(0, ::lseek(f.output, 0, SEEK_CUR));
    MachineState looped{};
    loadProgram(imagePath, looped);
    ::lseek(f.input, 0, SEEK_SET);
    redirectInput(f.input);
    ::ftruncate(f.loopOutput, 0);
    ::lseek(f.loopOutput, 0, SEEK_SET);
    redirectOutput(f.loopOutput);
    const std::uint64_t loopExecuted = runMachineFor(looped, executed);
    std::string loopOutput(static_cast<std::size_t>(::lseek(f.loopOutput, 0, SEEK_CUR)), '\0');
    if (!loopOutput.empty()) ::pread(f.loopOutput, loopOutput.data(), loopOutput.size(), 0);
    if (loopExecuted != executed) return "the run loop executed a different number of instructions";
    if (std::memcmp(&looped, &stepped, sizeof looped) != 0) return "the run loop left another machine state";
    if (loopOutput != steppedOutput) return "the run loop printed something else";
    return "";
}

}  // namespace tarnfuzz
