// The parts of a tool's run that every host shares: its main, standard
// output written in full, and its lines on standard error.
#include "host/descriptors.hpp"
#include "host/files.hpp"
#include "host/system_reason.hpp"

#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace tarn {

namespace {

constexpr int STANDARD_OUTPUT = 1;
constexpr int STANDARD_ERROR = 2;

// Where printError keeps its lines while a HeldErrors lives.
std::vector<std::string>* heldLines = nullptr;

}  // namespace

bool writeStandardOutput(std::string_view text, std::string& reason) {
    const int error = writeAll(STANDARD_OUTPUT, text);
    if (error == 0) return true;
    reason = systemReason(error);
    return false;
}

int printStandardOutput(std::string_view program, std::string_view text) {
    std::string reason;
    if (writeStandardOutput(text, reason)) return 0;
    printError(std::string(program) + ": impossibile scrivere sullo standard output: " + reason);
    return 2;
}

int runTool(std::string_view program, int (*body)(int, char**), int argc, char** argv) {
    occupyClosedStandardStreams();
    prepareSignals();  // SIGPIPE among them: a reader that goes away is a write error
    try {
        return body(argc, argv);
    } catch (const std::bad_alloc&) {
        printError(std::string(program) + ": memoria esaurita");
    } catch (const std::exception& error) {
        try {
            printError(std::string(program) + ": errore interno: " + error.what());
        } catch (const std::exception&) {
            printError(std::string(program) + ": errore interno");
        }
    }
    return 2;
}

HeldErrors::HeldErrors() : before_(heldLines) {
    heldLines = &lines_;
}

HeldErrors::~HeldErrors() {
    heldLines = before_;
}

void printError(std::string_view line) {
    if (heldLines != nullptr) {
        try {
            heldLines->emplace_back(line);
        } catch (const std::exception&) {
            // Out of memory: the line is lost, as the class says.
        }
        return;
    }
    char buffer[4096];
    if (line.size() < sizeof buffer) {
        std::memcpy(buffer, line.data(), line.size());
        buffer[line.size()] = '\n';
        writeAll(STANDARD_ERROR, std::string_view(buffer, line.size() + 1));
    } else {
        writeAll(STANDARD_ERROR, line);
        writeAll(STANDARD_ERROR, "\n");
    }
}

}  // namespace tarn
