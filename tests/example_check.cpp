// Runs one example program through tarnsim and compares its whole standard
// output with the expected one, byte for byte.
//
//     tarnsim_example_check TARNSIM IMAGE INPUT EXPECTED
//
// tarnsim runs in a session of its own, without a controlling terminal, so
// the tracer never waits for a key; INPUT is its standard input. Run from a
// fixed folder with a relative IMAGE, the path echoed by tarnsim is stable.
#include "support/process.hpp"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("impossibile leggere " + path);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// A text with its line ends and other control bytes made visible.
std::string visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n\n";
        else if (static_cast<unsigned char>(c) < 0x20) out += "\\x" + std::to_string(static_cast<int>(c));
        else out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "uso: tarnsim_example_check TARNSIM IMMAGINE INGRESSO ATTESO\n";
        return 2;
    }
    try {
        tarntest::ProcessOptions options;
        options.input = readFile(argv[3]);
        options.newSession = true;
        const tarntest::ProcessResult result = tarntest::runProcess({argv[1], argv[2]}, options);
        const std::string expected = readFile(argv[4]);
        if (result.out == expected && result.exitStatus == 0) return 0;
        std::size_t first = 0;
        while (first < expected.size() && first < result.out.size() && expected[first] == result.out[first]) ++first;
        std::cerr << "output di " << argv[2] << " diverso da " << argv[4] << " dal byte " << first
                  << " (stato di uscita " << result.exitStatus << ")\n--- atteso:\n"
                  << visible(expected) << "\n--- ottenuto:\n" << visible(result.out) << "\n--- standard error:\n"
                  << result.err << "\n";
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
    }
    return 1;
}
