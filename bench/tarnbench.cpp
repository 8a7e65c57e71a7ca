// tarnbench CARTELLA: guest instructions per second of each benchmark program
// in CARTELLA (its NAME.bin images and the input parole.txt), run in process;
// and as ricerca_ciclo/NAME, the same run under the search for an endless
// loop that tarngrade does on a case that reached its limit.
#include "machine/console.hpp"
#include "host/image_file.hpp"
#include "machine/instruction_set.hpp"
#include "machine/loop_detection.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string folder;

// Runs one program from a freshly loaded machine on a console over memory:
// its input is parole.txt, its output is collected.
// A program loaded from the folder, and its input. False, with the
// benchmark skipped, when the input is missing.
bool loadBench(benchmark::State& bench, const std::string& name, tarn::MachineState& loaded, std::string& input) {
    std::ifstream words(folder + "/parole.txt", std::ios::binary);
    if (!words) {
        bench.SkipWithError("manca parole.txt");
        return false;
    }
    input.assign(std::istreambuf_iterator<char>(words), {});
    tarn::loadProgram(folder + "/" + name + ".bin", loaded);
    return true;
}

void runProgram(benchmark::State& bench, const std::string& name) {
    tarn::MachineState loaded{};
    std::string input;
    if (!loadBench(bench, name, loaded, input)) return;
    tarn::MachineState state = loaded;
    tarn::MemoryConsole counting(input);
    const std::uint64_t executed = tarn::runMachineFor(state, counting, UINT64_MAX);
    for (auto _ : bench) {
        bench.PauseTiming();
        state = loaded;
        tarn::MemoryConsole console(input);
        bench.ResumeTiming();
        tarn::runMachine(state, console);
        benchmark::DoNotOptimize(console.output().size());
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(executed) * bench.iterations());
    bench.counters["istruzioni"] = static_cast<double>(executed);
}

// The same program under the loop search: every state compared with the
// saved one. The programs end, so the search steps through the whole run.
void searchProgram(benchmark::State& bench, const std::string& name) {
    tarn::MachineState loaded{};
    std::string input;
    if (!loadBench(bench, name, loaded, input)) return;
    std::uint64_t stepped = 0;
    for (auto _ : bench) {
        const tarn::LoopSearch search = tarn::findEndlessLoop({loaded, input, 0}, UINT64_MAX);
        stepped = search.stepped;
        benchmark::DoNotOptimize(search.outcome);
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(stepped) * bench.iterations());
    bench.counters["istruzioni"] = static_cast<double>(stepped);
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
    for (const char* name : {"contatore", "misto", "stampa", "lettura"})
        benchmark::RegisterBenchmark(("ricerca_ciclo/" + std::string(name)).c_str(), searchProgram, std::string(name))
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
