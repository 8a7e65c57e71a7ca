#!/usr/bin/env bash
# Builds the libFuzzer target and runs it for a bounded time (seconds, default
# 60) from the seed corpus and every past finding. Fails on any finding; the
# input that broke the machine is left in tests/fuzz/regressions/ to become a
# regression test.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
build-fuzz/tests/tarnsim_fuzz "$work" tests/fuzz/corpus tests/fuzz/regressions \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=tests/fuzz/regressions/ 2>"$work/log" || status=$?
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|invariant broken|SUMMARY)' "$work/log" || true
if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/log"
    echo "fuzz: finding saved in tests/fuzz/regressions/" >&2
fi
exit "$status"
