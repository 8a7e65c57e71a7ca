// The native side of the browser edition's differential test: runs programs
// as ConsoleRun runs them, the same way the test drives the wasm module, and
// prints what came of each run as one line of JSON.
//
//     web_reference < CASES
//
// Each line of CASES is "IMAGE INPUT BUDGET LIMIT": the image and the input
// in hexadecimal ("-" for none), the instructions of each slice and the most
// a run may execute. A trace is passed with its key at once; an INP waiting
// for input ends the input. The machine is printed as its 262-byte record.
#include "debugger/console_run.hpp"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string fromHex(const std::string& text) {
    std::string bytes;
    if (text == "-") return bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

std::string toHex(const std::string& bytes) {
    const char* digits = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        text += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return text;
}

}  // namespace

int main() {
    using tarn::debugger::ConsoleRun;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        std::string imageHex, inputHex;
        std::uint64_t budget = 0, limit = 0;
        if (!(fields >> imageHex >> inputHex >> budget >> limit) || budget == 0) {
            std::cerr << "uso: righe \"IMMAGINE INGRESSO PASSI LIMITE\" in esadecimale\n";
            return 2;
        }
        const std::string image = fromHex(imageHex);
        ConsoleRun run(std::vector<tarn::Byte>(image.begin(), image.end()), "casuale.bin", fromHex(inputHex));
        std::string console, output;
        std::size_t traces = 0;
        ConsoleRun::State state = ConsoleRun::State::Running;
        while (run.executed() < limit) {
            state = run.runSlice(budget);
            console += run.takeConsole();
            output += run.takeOutput();
            if (state == ConsoleRun::State::Halted) break;
            if (state == ConsoleRun::State::Trace) {
                ++traces;
                run.pressKey();
            } else if (state == ConsoleRun::State::NeedsInput) {
                run.endInput();
            }
        }
        const tarn::MachineState& machine = run.machine();
        std::cout << "{\"console\":\"" << toHex(console) << "\",\"output\":\"" << toHex(output)
                  << "\",\"executed\":" << run.executed() << ",\"traces\":" << traces
                  << ",\"halted\":" << (state == ConsoleRun::State::Halted ? "true" : "false") << ",\"machine\":\""
                  << toHex(std::string(reinterpret_cast<const char*>(&machine), sizeof machine)) << "\"}\n";
    }
    return 0;
}
