// tarnbench CARTELLA: guest instructions per second of each benchmark program
// in CARTELLA (its NAME.bin images and the input parole.txt), run in process.
#include "machine/console_input.hpp"
#include "machine/console_key.hpp"
#include "machine/console_output.hpp"
#include "machine/instruction_set.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string folder;

// Runs one program from a freshly loaded machine: its input from parole.txt
// and its output to the file NAME.out.
void runProgram(benchmark::State& bench, const std::string& name) {
    const std::string image = folder + "/" + name + ".bin";
    const int input = ::open((folder + "/parole.txt").c_str(), O_RDONLY);
    const int output = ::open((folder + "/" + name + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0) {
        bench.SkipWithError("manca parole.txt o la cartella non e' scrivibile");
        return;
    }
    tarn::redirectOutput(output);
    tarn::setKeyDevice(nullptr);

    auto start = [&](tarn::MachineState& state) {
        state = tarn::MachineState{};
        tarn::loadProgram(image, state);
        ::lseek(input, 0, SEEK_SET);
        tarn::redirectInput(input);
        ::ftruncate(output, 0);
        ::lseek(output, 0, SEEK_SET);
    };

    static tarn::MachineState state{};
    start(state);
    const std::uint64_t executed = tarn::runMachineFor(state, UINT64_MAX);
    for (auto _ : bench) {
        bench.PauseTiming();
        start(state);
        bench.ResumeTiming();
        tarn::runMachine(state);
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(executed) * bench.iterations());
    bench.counters["istruzioni"] = static_cast<double>(executed);
    ::close(input);
    ::close(output);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: tarnbench CARTELLA [opzioni di Google Benchmark]\n");
        return 2;
    }
    folder = argv[1];
    for (const char* name : {"contatore", "misto", "stampa", "lettura"})
        benchmark::RegisterBenchmark(name, runProgram, std::string(name))->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
