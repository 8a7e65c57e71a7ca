#!/usr/bin/env bash
# Builds the libFuzzer targets and runs them for a bounded time: the machine
# against its reference model, the assembler on any source, the disassembler
# on any image, the grader on any exercise file and on any image run on a
# case, the debugger on any image, input and commands. Each starts from its seed corpus and every past finding. Fails on any
# finding; the input that broke a target is left in its regressions folder
# (tests/fuzz/regressions/ for the machine, tests/fuzz/regressions-tarnasm/,
# -tarndis/, -tarngrade/ and -tarndbg/ for the tools) to become a regression test. Run
# from any folder:
#
#     tests/fuzz/run-fuzzer.sh [SECONDS] [TARGET...]
#
# with TARGET among tarnsim, tarnasm, tarndis, tarngrade, tarndbg (default: all five).
# SECONDS (default 240) is the time of the whole run, shared evenly by the
# targets (at least 10 seconds each).
set -euo pipefail
cd "$(dirname "$0")/../.."
total="${1:-240}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tarnsim tarnasm tarndis tarngrade tarndbg)
case "$total" in
    ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not '$total'" >&2; exit 2 ;;
esac
seconds=$(( total / ${#targets[@]} ))
[ "$seconds" -ge 10 ] || seconds=10

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
    case "$target" in
        # Images with input: the first two bytes give the image's length.
        tarnsim) folders=(tests/fuzz/corpus tests/fuzz/regressions); limits=(-rss_limit_mb=2048) ;;
        # Sources: the assembler's memory must stay small whatever the bytes.
        tarnasm) folders=(tests/fuzz/corpus-tarnasm tests/fuzz/regressions-tarnasm)
                 limits=(-rss_limit_mb=1024 -malloc_limit_mb=64 -max_len=8192 -dict=tests/fuzz/tarnasm.dict) ;;
        # Images: only the first 256 bytes count, a few more show they are cut.
        tarndis) folders=(tests/fuzz/corpus-tarndis tests/fuzz/regressions-tarndis)
                 limits=(-rss_limit_mb=1024 -malloc_limit_mb=64 -max_len=300) ;;
        # An exercise file or an image with its input, by the first byte:
        # files long enough for many cases, a run's memory bounded by its limits.
        tarngrade) folders=(tests/fuzz/corpus-tarngrade tests/fuzz/regressions-tarngrade)
                   limits=(-rss_limit_mb=1024 -malloc_limit_mb=256 -max_len=16384 -dict=tests/fuzz/tarngrade.dict) ;;
        # An image, its input and the commands of a debugging session.
        tarndbg) folders=(tests/fuzz/corpus-tarndbg tests/fuzz/regressions-tarndbg)
                 limits=(-rss_limit_mb=1024 -malloc_limit_mb=128 -max_len=1024) ;;
        *) echo "fuzz: unknown target '$target' (tarnsim, tarnasm, tarndis, tarngrade, tarndbg)" >&2; exit 2 ;;
    esac
    regressions="${folders[1]}"
    mkdir -p "$work/$target"
    echo "== fuzz $target (${seconds} s)"
    status=0
    "build-fuzz/tests/${target}_fuzz" "$work/$target" "${folders[@]}" \
        -max_total_time="$seconds" -timeout=10 "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$regressions/" 2>"$work/$target.log" || status=$?
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|invariant broken|SUMMARY)' \
        "$work/$target.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$work/$target.log"
        echo "fuzz: $target: finding saved in $regressions/" >&2
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings for ${failed[*]}" >&2
    exit 1
fi
