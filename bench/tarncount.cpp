// tarncount IMMAGINE: prints how many instructions the program executes until
// it stops, with standard input as its input and its output thrown away. The
// tracer never waits here.
#include "machine/console_key.hpp"
#include "machine/console_output.hpp"
#include "machine/instruction_set.hpp"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: tarncount IMMAGINE\n");
        return 2;
    }
    static tarn::MachineState state{};
    tarn::loadProgram(argv[1], state);
    tarn::redirectOutput(::open("/dev/null", O_WRONLY));
    tarn::setKeyDevice(nullptr);
    std::printf("%llu\n", static_cast<unsigned long long>(tarn::runMachineFor(state, UINT64_MAX)));
    return 0;
}
