#!/usr/bin/env bash
# Grades a made-up class with tarngrade and reports how fast it went: 200
# submissions x 10 cases, every program an endless loop stopped by a limit
# of 1,000,000 instructions per case, so 2,000,000,000 guest instructions in
# all. The same class is then graded on one thread (only its first 20
# submissions, to keep the wait short), which gives the speed of one core:
# with every core the speed should come close to that times the cores.
#
#     bench/grade.sh [SUBMISSIONS]
set -euo pipefail
cd "$(dirname "$0")/.."
students="${1:-200}"
cases=10
limit=1000000
cmake --preset default >/dev/null
cmake --build --preset default --target tarngrade >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Four kinds of endless loop, with different constants and labels in each
# submission: counting down, adding, printing (the output limit cuts it) and
# subtracting.
program() {
    local kind=$(( $1 % 4 )) n=$(( $1 % 50 + 3 ))
    case $kind in
        0) printf 'giro%d:  CLZ\n        DEC c\n        JPZ giro%d\n        JMP giro%d\nc:      DB %d\n' "$1" "$1" "$1" "$n" ;;
        1) printf '        VAL a, %d\nsu:     ADD a, b\n        CLO\n        JMP su\na:      DB 0\nb:      DB 1\n' "$n" ;;
        2) printf 'di:     WRT msg\n        JMP di\nmsg:    DB "ancora %d", 10, 0\n' "$n" ;;
        3) printf 'meno:   SUB a, b\n        CLN\n        CLO\n        JMP meno\na:      DB %d\nb:      DB 7\n' "$n" ;;
    esac
}
mkdir "$work/classe"
for ((s = 1; s <= students; ++s)); do
    mkdir "$work/classe/studente$s"
    program "$s" > "$work/classe/studente$s/programma.asm"
done
{
    echo 'titolo = "Ciclo senza fine"'
    echo "limite_istruzioni = $limit"
    for ((c = 1; c <= cases; ++c)); do
        printf '\n[[caso]]\nnome = "caso %d"\ningresso = "%d\\n"\nuscita = "fine\\n"\n' "$c" "$c"
    done
} > "$work/esercizio.toml"

# Seconds, with nanoseconds, that a command takes; its output is dropped and
# its exit status 1 (every case fails) expected.
timed() {
    local start end status=0
    start=$(date +%s.%N)
    "$@" >/dev/null || status=$?
    end=$(date +%s.%N)
    if [ "$status" -ne 1 ]; then
        echo "bench: tarngrade è uscito con stato $status invece di 1" >&2
        exit 1
    fi
    echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

cores=$(nproc)
all=$(timed build/tarngrade "$work/esercizio.toml" "$work"/classe/*)
one_students=$(( students < 20 ? students : 20 ))
one=$(timed build/tarngrade "$work/esercizio.toml" -j 1 $(for ((s = 1; s <= one_students; ++s)); do echo "$work/classe/studente$s"; done))

awk -v s="$students" -v os="$one_students" -v c="$cases" -v l="$limit" -v all="$all" -v one="$one" -v cores="$cores" 'BEGIN {
    total = s * c * l; single = os * c * l / one; every = total / all
    printf "classe: %d consegne x %d casi x %d istruzioni = %.0f istruzioni\n", s, c, l, total
    printf "tutti i core (%d): %.2f s, %.0f M istruzioni al secondo\n", cores, all, every / 1e6
    printf "un solo core:      %.0f M istruzioni al secondo (%d consegne in %.2f s)\n", single / 1e6, os, one
    printf "rapporto: %.2f volte un core, su %d core\n", every / single, cores
}'
