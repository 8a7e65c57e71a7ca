#!/usr/bin/env bash
# Builds the Release tree and reports, for each benchmark program, the guest
# instructions the simulator runs per second (in process, Google Benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
bench/words.sh > build/bench/parole.txt
if [ ! -x build/bench/tarnbench ]; then
    echo "bench: Google Benchmark non trovato (pacchetto libbenchmark-dev)" >&2
    exit 1
fi
build/bench/tarnbench build/bench "$@"
