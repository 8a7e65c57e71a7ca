#!/usr/bin/env bash
# compare.sh COMMIT [ROUNDS]: whole-process speed of tarnsim built from COMMIT
# against tarnsim built from today's tree, side by side on the same machine.
#
# For each benchmark program, the two run in turn for ROUNDS rounds (7 by
# default), taking turns at going first; each run is a whole process, from
# start to exit, with parole.txt as standard input and /dev/null as standard
# output. The median of each side gives guest instructions per second, and
# the ratio today / COMMIT. Both must print the same, or the script stops.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "uso: bench/compare.sh COMMIT [GIRI]" >&2
    exit 2
fi
commit=$1
rounds=${2:-7}
if ! [[ $rounds =~ ^[1-9][0-9]*$ ]]; then
    echo "compare: il numero di giri deve essere un intero positivo: '$rounds'" >&2
    exit 2
fi
if ! git rev-parse --verify --quiet "$commit^{commit}" >/dev/null; then
    echo "compare: commit sconosciuto: '$commit'" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Today's tree, with the benchmark images, their input and the counter.
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
dir=build/bench
bench/words.sh > "$dir/parole.txt"
today=build/tarnsim

# The commit, from a clean copy of its files: only its tarnsim.
mkdir "$work/src"
git archive --format=tar "$commit" | tar -x -C "$work/src"
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DTARNSIM_BUILD_TESTS=OFF \
    -DTARNSIM_WARNINGS_AS_ERRORS=OFF >/dev/null
cmake --build "$work/build" --target tarnsim -j 2 >/dev/null
before="$work/build/tarnsim"

# Microseconds taken by one whole run of: BINARY IMAGE < parole.txt > /dev/null
runTime() {
    local start=$EPOCHREALTIME
    "$1" "$2" < "$dir/parole.txt" > /dev/null
    local end=$EPOCHREALTIME
    echo $(( ${end/./} - ${start/./} ))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "tarnsim di $(git rev-parse --short "$commit") contro l'albero di oggi, $rounds giri alternati, mediana"
printf '%-10s %10s %14s %14s %8s\n' programma guest "M/s $commit" "M/s oggi" rapporto
for name in contatore misto stampa lettura; do
    image="$dir/$name.bin"
    "$before" "$image" < "$dir/parole.txt" > "$work/before.out"
    "$today" "$image" < "$dir/parole.txt" > "$work/today.out"
    if ! cmp -s "$work/before.out" "$work/today.out"; then
        echo "compare: $name stampa altro con $commit che con l'albero di oggi" >&2
        exit 1
    fi
    guest=$(build/bench/tarncount "$image" < "$dir/parole.txt")
    : > "$work/before.times"
    : > "$work/today.times"
    for ((round = 0; round < rounds; ++round)); do
        if ((round % 2 == 0)); then
            runTime "$before" "$image" >> "$work/before.times"
            runTime "$today" "$image" >> "$work/today.times"
        else
            runTime "$today" "$image" >> "$work/today.times"
            runTime "$before" "$image" >> "$work/before.times"
        fi
    done
    old=$(median < "$work/before.times")
    new=$(median < "$work/today.times")
    awk -v n="$name" -v g="$guest" -v o="$old" -v t="$new" \
        'BEGIN { printf "%-10s %10d %14.1f %14.1f %8.2f\n", n, g, g / o, g / t, o / t }'
done
