#!/usr/bin/env bash
# What the search for an endless loop costs a class whose cases reach a
# small limit without repeating: contatore (82 million instructions, no
# state twice) graded at limits of 1000, 3000 and 100000, each case then
# searched as far as the grader searches (three times the limit, within
# the budget of 20 million steps), as far as the limit itself, as it
# searched before, and as far as the whole budget: the milliseconds of a
# case, and the seconds of a class of 200 submissions x 10 such cases on one
# core.
#
#     bench/loop_search.sh [CASI]
set -euo pipefail
cd "$(dirname "$0")/.."
cases="${1:-5}"
cmake --preset default >/dev/null
cmake --build --preset default --target tarnloopcost tarnsim_bench_programs >/dev/null
for limit in 1000 3000 100000; do
    build/bench/tarnloopcost build/bench/contatore.bin "$limit" "$cases"
done
