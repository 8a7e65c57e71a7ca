// tarncount IMMAGINE: prints how many instructions the program executes until
// it stops, with standard input as its input and its output thrown away. The
// tracer never waits here.
#include "machine/console.hpp"
#include "host/image_file.hpp"
#include "machine/instruction_set.hpp"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: tarncount IMMAGINE\n");
        return 2;
    }
    tarn::MachineState state{};
    tarn::loadProgram(argv[1], state);
    std::string input{std::istreambuf_iterator<char>(std::cin), {}};
    tarn::MemoryConsole console(std::move(input), tarn::MemoryConsole::Traces::Counted, 0);
    std::printf("%llu\n", static_cast<unsigned long long>(tarn::runMachineFor(state, console, UINT64_MAX)));
    return 0;
}
