#!/usr/bin/env bash
# What it costs to start tarnsim: a whole run of the one-byte image 0 (a
# single RST) beside a C program that does nothing (int main(void) { return
# 0; }, built here with the system's cc), side by side. Each is measured by
# the host instructions callgrind counts (repeatable on a busy machine) and
# by wall time, the median of RUNS runs (1000 by default): with hyperfine
# where it is installed, else with a small launcher built here. Then the ratio
# tarnsim / C program, and the difference. The other programs of the build
# folder, when there, are counted too, each started with no arguments (it
# writes its usage and exits with status 2); last, which programs still load
# the shared C++ runtime (by ldd).
#
#     bench/startup.sh [BUILD [RUNS]]
#
# BUILD is the build folder (build by default) whose programs are measured
# as they are: nothing is built.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runs="${2:-1000}"
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "startup: il numero di esecuzioni deve essere un intero positivo: '$runs'" >&2
    exit 2
fi
if [ ! -x "$build/tarnsim" ]; then
    echo "startup: $build/tarnsim non trovato (costruisci prima la cartella di build)" >&2
    exit 2
fi
if ! command -v valgrind >/dev/null; then
    echo "startup: valgrind non trovato (pacchetto valgrind)" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '\0' > "$work/zero.bin"
echo 'int main(void) { return 0; }' > "$work/vuoto.c"
"${CC:-cc}" -O2 -o "$work/vuoto" "$work/vuoto.c"

# A loop of runs in the shell would time the shell's own fork with each, some
# 2 ms, and hide the difference. Without hyperfine, this launcher times them
# instead: "lancia RUNS A... -- B..." starts A and B in turn with posix_spawn,
# standard input and output on /dev/null, 20 times each uncounted, then RUNS
# times each, and writes the median milliseconds of a run of A and of B.
# Taking turns and the median keep a busy machine from favouring either.
cat > "$work/lancia.c" <<'END'
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
extern char** environ;
static double milliseconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}
static int ascending(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}
int main(int argc, char** argv) {
    if (argc < 5) return 2;
    long runs = strtol(argv[1], NULL, 10);
    char** commands[2] = {argv + 2, NULL};
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            commands[1] = argv + i + 1;
        }
    }
    double* times[2] = {malloc(sizeof(double) * (size_t)runs), malloc(sizeof(double) * (size_t)runs)};
    if (commands[1] == NULL || commands[1][0] == NULL || times[0] == NULL || times[1] == NULL) return 2;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    for (long i = -20; i < runs; ++i) {
        for (int c = 0; c < 2; ++c) {
            double start = milliseconds();
            pid_t child;
            int status;
            if (posix_spawn(&child, commands[c][0], &files, NULL, commands[c], environ) != 0
                || waitpid(child, &status, 0) != child) {
                perror(commands[c][0]);
                return 1;
            }
            if (i >= 0) times[c][i] = milliseconds() - start;
        }
    }
    for (int c = 0; c < 2; ++c) {
        qsort(times[c], (size_t)runs, sizeof(double), ascending);
        printf("%s%.3f", c ? " " : "", runs % 2 ? times[c][runs / 2] : (times[c][runs / 2 - 1] + times[c][runs / 2]) / 2);
    }
    printf("\n");
    return 0;
}
END
if command -v hyperfine >/dev/null; then
    how=hyperfine
else
    how="posix_spawn, a turno"
    "${CC:-cc}" -O2 -o "$work/lancia" "$work/lancia.c"
fi

# Instructions counted by callgrind for: COMMAND... < /dev/null > /dev/null
# (whatever its exit status).
hostInstructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" < /dev/null > /dev/null 2> "$work/log" || true
    awk '/Collected/ { print $4 }' "$work/log"
}

# Median milliseconds of a run of the empty C program and of tarnsim on the
# image 0, with standard input and output on /dev/null.
wallTimes() {
    if [ "$how" = hyperfine ]; then
        hyperfine --shell=none --warmup 20 --runs "$runs" --input /dev/null --output null \
            --export-json "$work/time.json" "$work/vuoto" "$tarnsim $work/zero.bin" > /dev/null
        python3 -c 'import json, sys; print(*("%.3f" % (r["median"] * 1000) for r in json.load(open(sys.argv[1]))["results"]))' \
            "$work/time.json"
    else
        "$work/lancia" "$runs" "$work/vuoto" -- "$tarnsim" "$work/zero.bin"
    fi
}

tarnsim="$build/tarnsim"
if ! "$tarnsim" "$work/zero.bin" < /dev/null > /dev/null; then
    echo "startup: $tarnsim non esegue l'immagine 0" >&2
    exit 1
fi

cInstructions=$(hostInstructions "$work/vuoto")
simInstructions=$(hostInstructions "$tarnsim" "$work/zero.bin")
read -r cTime simTime < <(wallTimes)

echo "tempi: mediana di $runs esecuzioni ($how)"
printf '%-24s %12s %10s %10s\n' programma istruzioni ms byte
printf '%-24s %12d %10s %10s\n' "programma C vuoto" "$cInstructions" "$cTime" "$(stat -c %s "$work/vuoto")"
printf '%-24s %12d %10s %10s\n' "tarnsim, immagine 0" "$simInstructions" "$simTime" "$(stat -c %s "$tarnsim")"
awk -v ci="$cInstructions" -v si="$simInstructions" -v ct="$cTime" -v st="$simTime" 'BEGIN {
    printf "%-24s %12.2f %10.2f\n", "rapporto", si / ci, st / ct
    printf "%-24s %12d %10.3f\n", "differenza", si - ci, st - ct
}'

# The other programs, started with no arguments.
for name in tarnasm tarndis tarngrade tarndbg; do
    if [ -x "$build/$name" ]; then
        printf '%-24s %12d %10s %10s\n' "$name, senza argomenti" \
            "$(hostInstructions "$build/$name")" "" "$(stat -c %s "$build/$name")"
    fi
done
shared=
for name in tarnsim tarnasm tarndis tarngrade tarndbg; do
    if [ -x "$build/$name" ] && [[ $(ldd "$build/$name" 2>&1) == *libstdc++* ]]; then
        shared="$shared $name"
    fi
done
echo "runtime C++ condiviso:${shared:- nessun programma}"
