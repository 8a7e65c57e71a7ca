// The debugger's history, measured: how fast a session runs forwards with
// everything it records, how much memory its history takes, and how long
// stepping back takes after ten million instructions.
//
//     tarndbgbench PROGRAMMA.asm [ISTRUZIONI [avanti|c]]
//
// With avanti or c, only that run is made, once, and nothing is printed: for
// callgrind, which counts the host instructions of each however busy the
// machine is.
#include "debugger/forward_run.hpp"
#include "debugger/session.hpp"
#include "host/files.hpp"

#include <chrono>
#include <optional>
#include <cstdio>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: tarndbgbench PROGRAMMA.asm [ISTRUZIONI]\n");
        return 2;
    }
    const std::uint64_t length = argc > 2 ? std::stoull(argv[2]) : 10'000'000;
    std::string source;
    std::string reason;
    if (!tarn::readFile(argv[1], source, reason)) {
        std::fprintf(stderr, "tarndbgbench: %s: %s\n", argv[1], reason.c_str());
        return 2;
    }
    tarn::debugger::Program program;
    std::vector<std::string> report;
    if (!tarn::debugger::programFromSource(argv[1], source, program, report)) {
        for (const std::string& line : report) std::fprintf(stderr, "%s\n", line.c_str());
        return 1;
    }
    // The run as runForward makes it, and the same run as c makes it, in
    // stretches, looking for an endless loop on its way: what the search
    // adds. Each is timed a few times, in turn, and the fastest counts, so
    // that a busy machine disturbs the comparison less.
    const auto runPlain = [&](tarn::debugger::Session& session) {
        while (session.position() < length) {
            const tarn::debugger::RunResult result = session.runForward(length - session.position());
            if (result.reason == tarn::debugger::StopReason::Halted) break;
        }
    };
    std::uint64_t searchSteps = 0;
    bool loopFound = false;
    const auto runLooking = [&](tarn::debugger::Session& session) {
        tarn::debugger::ForwardRun run(session);
        tarn::debugger::RunResult result;
        do {
            result = run.stretch(std::min<std::uint64_t>(100'000, length - session.position()));
        } while (result.reason == tarn::debugger::StopReason::Budget && session.position() < length);
        searchSteps = run.searchSteps();
        loopFound = result.reason == tarn::debugger::StopReason::EndlessLoop;
    };
    if (argc > 3) {
        tarn::debugger::Session session(program, std::string{});
        if (std::string(argv[3]) == "c") runLooking(session);
        else runPlain(session);
        return 0;
    }
    const int rounds = 3;
    double forward = 1e300, looking = 1e300;
    std::uint64_t lookingReached = 0;
    std::optional<tarn::debugger::Session> kept;
    for (int round = 0; round < rounds; ++round) {
        tarn::debugger::Session plain(program, std::string{});
        Clock::time_point began = Clock::now();
        runPlain(plain);
        forward = std::min(forward, secondsSince(began));
        tarn::debugger::Session searching(program, std::string{});
        began = Clock::now();
        runLooking(searching);
        looking = std::min(looking, secondsSince(began));
        lookingReached = searching.position();
        if (round + 1 == rounds) kept.emplace(std::move(plain));
    }
    tarn::debugger::Session& session = *kept;
    const std::uint64_t reached = session.position();
    std::printf("avanti: %llu istruzioni in %.3f s (%.1f M/s)\n", static_cast<unsigned long long>(reached), forward,
                static_cast<double>(reached) / forward / 1e6);
    std::printf("storia: %zu istantanee, una ogni %llu istruzioni, %.1f MiB\n", session.snapshotCount(),
                static_cast<unsigned long long>(session.snapshotInterval()),
                static_cast<double>(session.historyBytes()) / (1024.0 * 1024.0));
    std::printf("avanti come c, cercando i cicli: %llu istruzioni in %.3f s (%.1f M/s), %+.1f %%; la ricerca ha eseguito "
                "%llu istruzioni sue%s\n",
                static_cast<unsigned long long>(lookingReached), looking,
                static_cast<double>(lookingReached) / looking / 1e6, (looking / forward - 1) * 100,
                static_cast<unsigned long long>(searchSteps), loopFound ? ", ciclo infinito trovato" : "");

    // One step back, many times over, from the far end.
    const int backs = 200;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < backs; ++i) session.stepBack();
    const double back = secondsSince(start) / backs;
    std::printf("un passo indietro: %.3f ms in media (su %d)\n", back * 1e3, backs);

    // Anywhere in the history.
    std::mt19937_64 random(1);
    const int jumps = 200;
    double slowest = 0;
    start = Clock::now();
    for (int i = 0; i < jumps; ++i) {
        const Clock::time_point one = Clock::now();
        session.goTo(random() % reached);
        slowest = std::max(slowest, secondsSince(one));
    }
    std::printf("salto a un punto qualsiasi: %.3f ms in media, %.3f ms al massimo\n",
                secondsSince(start) / jumps * 1e3, slowest * 1e3);

    // All the way back with r, nothing to stop it on the way.
    session.goTo(reached);
    start = Clock::now();
    session.runBackward();
    std::printf("r fino all'inizio da %llu: %.3f s\n", static_cast<unsigned long long>(reached), secondsSince(start));
    return 0;
}
