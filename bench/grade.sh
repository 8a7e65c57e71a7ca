#!/usr/bin/env bash
# Grades two made-up classes with tarngrade and reports how fast each went.
#
# - silenziosa: 200 submissions x 10 cases, every program an endless loop
#   that prints nothing, stopped by a limit of 1,000,000 instructions per
#   case, so 2,000,000,000 guest instructions in all;
# - stampa: 200 submissions x 10 cases, every program printing a figure of
#   asterisks, one WRT in three instructions: 58,000 to 87,000 instructions
#   and up to 29 kB of output per case, within the output limit of 65536,
#   and then stopping; the output is not checked (X is, 0 at the end), so
#   every case passes.
#
# Each class is then graded whole again on one thread (-j 1), which gives the
# speed of one core, in guest instructions per second of wall time and of
# tarngrade's user time: with every core the speed should come close to that
# times the cores. Last, the printing class's speed of one core over the
# silent class's, both in user time: what printing costs beside computing.
#
#     bench/grade.sh [SUBMISSIONS]
set -euo pipefail
cd "$(dirname "$0")/.."
students="${1:-200}"
cases=10
limit=1000000
cmake --preset default >/dev/null
cmake --build --preset default --target tarngrade tarnasm tarncount >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Three kinds of endless loop, with different constants and labels in each
# submission: counting down, adding and subtracting.
silent() {
    local kind=$(( $1 % 3 )) n=$(( $1 % 50 + 3 ))
    case $kind in
        0) printf 'giro%d:  CLZ\n        DEC c\n        JPZ giro%d\n        JMP giro%d\nc:      DB %d\n' "$1" "$1" "$1" "$n" ;;
        1) printf '        VAL a, %d\nsu:     ADD a, b\n        CLO\n        JMP su\na:      DB 0\nb:      DB 1\n' "$n" ;;
        2) printf 'meno:   SUB a, b\n        CLN\n        CLO\n        JMP meno\na:      DB %d\nb:      DB 7\n' "$n" ;;
    esac
}
# A figure of asterisks: two at each turn of an inner loop of 120 turns, and
# a line end at each turn of an outer one of 80 to 119.
printing() {
    printf '        VAL c1, %d\nriga:   VAL c2, 120\ngiro:   WRT stella\n        WRT stella\n' $(( $1 % 40 + 80 ))
    printf '        CLZ\n        DEC c2\n        JPZ fine2\n        JMP giro\n'
    printf 'fine2:  WRT acapo\n        CLZ\n        DEC c1\n        JPZ fine1\n        JMP riga\nfine1:  RST\n'
    printf 'c1:     DB 0\nc2:     DB 0\nstella: DB "*", 0\nacapo:  DB 10, 0\n'
}
mkdir "$work/silenziosa" "$work/stampa" "$work/immagini"
stampa_guest=0
for ((s = 1; s <= students; ++s)); do
    mkdir "$work/silenziosa/studente$s" "$work/stampa/studente$s"
    silent "$s" > "$work/silenziosa/studente$s/programma.asm"
    printing "$s" > "$work/stampa/studente$s/programma.asm"
    # The instructions of each printing program, counted once.
    build/tarnasm "$work/stampa/studente$s/programma.asm" -o "$work/immagini/$s.bin" >/dev/null
    guest=$(build/bench/tarncount "$work/immagini/$s.bin" < /dev/null)
    stampa_guest=$(( stampa_guest + guest * cases ))
done
{
    echo 'titolo = "Ciclo senza fine"'
    echo "limite_istruzioni = $limit"
    for ((c = 1; c <= cases; ++c)); do
        printf '\n[[caso]]\nnome = "caso %d"\ningresso = "%d\\n"\nuscita = "fine\\n"\n' "$c" "$c"
    done
} > "$work/silenziosa.toml"
{
    echo 'titolo = "Righe in un ciclo"'
    echo "limite_istruzioni = $limit"
    echo 'limite_uscita = 65536'
    for ((c = 1; c <= cases; ++c)); do
        printf '\n[[caso]]\nnome = "caso %d"\ningresso = "%d\\n"\natteso.registri = { X = 0 }\n' "$c" "$c"
    done
} > "$work/stampa.toml"

# The wall time and the user time, in seconds, that a command takes; its
# output is dropped and its exit status expected to be the first argument.
timed() {
    local expected=$1 status=0 TIMEFORMAT='%3R %3U'
    shift
    { time "$@" >/dev/null 2>"$work/errors" || status=$?; } 2>"$work/times"
    if [ "$status" -ne "$expected" ]; then
        cat "$work/errors" >&2
        echo "bench: tarngrade è uscito con stato $status invece di $expected" >&2
        exit 1
    fi
    cat "$work/times"
}

cores=$(nproc)
# CLASS EXPECTED-STATUS GUEST-INSTRUCTIONS: prints the class's figures, and
# leaves its guest instructions per second of user time on one core in
# $work/CLASS.user.
measure() {
    local class=$1 expected=$2 total=$3 all one
    all=$(timed "$expected" build/tarngrade "$work/$class.toml" "$work/$class"/*)
    one=$(timed "$expected" build/tarngrade "$work/$class.toml" -j 1 "$work/$class"/*)
    awk -v name="$class" -v s="$students" -v c="$cases" -v total="$total" -v all="${all%% *}" \
        -v wall="${one%% *}" -v user="${one##* }" -v cores="$cores" -v out="$work/$class.user" 'BEGIN {
        every = total / all; single = total / wall
        printf "classe %s: %d consegne x %d casi = %.0f istruzioni\n", name, s, c, total
        printf "  tutti i core (%d): %.2f s, %.0f M istruzioni al secondo\n", cores, all, every / 1e6
        printf "  un solo core (-j 1): %.2f s, %.0f M istruzioni al secondo;", wall, single / 1e6
        printf " %.2f s di tempo utente, %.0f M istruzioni al secondo utente\n", user, total / user / 1e6
        printf "  rapporto: %.2f volte un core, su %d core\n", every / single, cores
        printf "%.6f\n", total / user > out
    }'
}
measure silenziosa 1 $(( students * cases * limit ))
measure stampa 0 "$stampa_guest"
awk -v silent="$(cat "$work/silenziosa.user")" -v printing="$(cat "$work/stampa.user")" 'BEGIN {
    printf "stampa su silenziosa, un solo core, istruzioni al secondo di tempo utente: %.2f\n", printing / silent
}'
