// tarnsim: the command-line front end of the simulated machine.
#include "programs/tarnsim/diagnostics.hpp"
#include "host/descriptors.hpp"
#include "programs/tarnsim/standard_console.hpp"
#include "host/image_file.hpp"
#include "programs/entry.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "machine/startup_messages.hpp"
#include "host/system_reason.hpp"
#include "text/file_names.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <cerrno>
#include <span>
#include <string>
#include <string_view>

namespace {

bool isTextByte(tarn::Byte byte) {
    return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\n' || byte == '\r';
}

bool isLetter(tarn::Byte byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// How many continuation bytes follow a UTF-8 lead byte, or -1 when the byte
// cannot start a character (a stray continuation, an overlong or
// out-of-range lead).
int continuationBytes(tarn::Byte lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

// Whether a freshly loaded memory holds an assembler source rather than
// machine code: text in lines. Memory starts all zero and a text holds no 0
// byte, so the file is what comes before the first 0, and memory must be 0
// from there on. That text must be printable ASCII, tabs, CR, LF and UTF-8
// characters (one may be cut by the end of memory), with at least one line
// end and a word of three letters or more: a mnemonic or a label.
//
// Machine code rarely passes: an image ends with RST (0) and its data follows
// it; the flag instructions, CPY, VAL and the arithmetic are control or
// non-ASCII bytes; and a run of three letters is a run of unassigned
// opcodes or jumps with addresses 65 and up.
bool looksLikeSource(const tarn::MachineState& state) {
    const std::span<const tarn::Byte> memory(state.M);
    std::size_t end = 0;
    while (end < memory.size() && memory[end] != 0) ++end;
    if (end == 0) return false;
    for (std::size_t i = end; i < memory.size(); ++i)
        if (memory[i] != 0) return false;

    bool lineEnd = false;
    std::size_t letters = 0, longestWord = 0;
    for (std::size_t i = 0; i < end;) {
        const tarn::Byte byte = memory[i];
        lineEnd = lineEnd || byte == '\n';
        letters = isLetter(byte) ? letters + 1 : 0;
        longestWord = std::max(longestWord, letters);
        if (isTextByte(byte)) {
            ++i;
            continue;
        }
        const int more = continuationBytes(byte);
        if (more < 0) return false;
        for (std::size_t next = i + 1; next <= i + static_cast<std::size_t>(more); ++next) {
            if (next == memory.size()) return lineEnd && longestWord >= 3;  // cut by the end of memory
            if (memory[next] < 0x80 || memory[next] > 0xBF) return false;  // memory[end] is 0
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return lineEnd && longestWord >= 3;
}

// Whether a path names an assembler source by its extension (".asm", in
// any case, after a name).
bool namesASource(std::string_view path) {
    constexpr std::string_view EXTENSION = ".asm";
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.size() > EXTENSION.size() && tarn::hasExtension(name, EXTENSION);
}

}  // namespace

int programMain(int argc, char** argv) {
    using tarnsim::diagnose;

    tarn::occupyClosedStandardStreams();
    tarn::ignoreBrokenPipe();

    tarnsim::StandardConsole console;
    console.writeOutput(tarn::startupBanner());
    if (argc < 2) {
        console.writeOutput(tarn::USAGE_LINES);
        return console.outputFailed() ? 1 : 0;
    }

    const std::string path = argv[1];
    console.writeOutput(tarn::loadingLines(path));

    // Every run starts from an all-zero machine: memory beyond the image is 0.
    tarn::MachineState state{};
    const tarn::LoadReport report = tarn::loadProgram(path, state);
    const std::string shown = tarn::visibleName(path);
    const bool source = namesASource(path);
    const std::string reason = report.reason.empty() ? tarn::systemReason(report.error) : report.reason;
    if (!report.opened)
        diagnose("impossibile aprire il programma '" + shown + "': " + reason);
    else if (report.readFailed)
        diagnose("impossibile leggere il programma '" + shown + "': " + reason);
    else if (!source && report.truncated)
        diagnose("il programma '" + shown + "' supera i 256 byte: caricati solo i primi 256");
    // A source by its name is not run; one by its content still is, as the
    // image it was given, with only the hint.
    if (report.opened && !report.readFailed && (source || looksLikeSource(state)))
        diagnose("'" + shown + "' sembra un sorgente: assemblalo prima con tarnasm");

    console.writeOutput(tarn::RUN_STARTED_LINES);
    // A source is not run: its text as machine code would most likely loop
    // for ever without a word. Standard output is that of an image that
    // could not be opened, whose empty memory stops at once.
    if (!source) tarn::runMachine(state, console);
    console.writeOutput(tarn::SHUTDOWN_LINES);
    if (source) return 2;
    // Output that never arrived is not a successful run.
    return console.outputFailed() ? 1 : 0;
}
