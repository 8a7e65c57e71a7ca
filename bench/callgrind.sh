#!/usr/bin/env bash
# Host instructions per guest instruction of the Release build, counted with
# callgrind (repeatable on a busy machine): the count of a whole run of
# tarnsim, less that of the one-byte image 0, over the guest instructions the
# program executes; the same for a program that prints, run as tarngrade runs
# a case. A figure over its limit fails the script. Then the system calls of
# the output and input programs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
dir=build/bench
bench/words.sh > "$dir/parole.txt"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '\0' > "$work/zero.bin"

# Instructions counted by callgrind for: COMMAND... < INPUT > OUTPUT
counted() {
    local input=$1 output=$2
    shift 2
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" < "$input" > "$output" 2> "$work/log"
    awk '/Collected/ { print $4 }' "$work/log"
}

# One row of the table; the figure over its limit (when it has one) fails
# the script at the end.
over=0
row() {
    local name=$1 guest=$2 host=$3 base=$4 limit=$5
    awk -v n="$name" -v g="$guest" -v h="$host" -v b="$base" -v l="$limit" \
        'BEGIN { f = (h - b) / g; printf "%-18s %12d %12.2f %8s\n", n, g, f, l; exit (l != "-" && f > l) }' || over=1
}

# Whole runs of tarnsim, less the one-byte image 0.
base=$(counted /dev/null /dev/null build/tarnsim "$work/zero.bin")
printf '%-18s %12s %12s %8s\n' programma guest host/guest limite
for entry in contatore:9.7 misto:16 stampa:- lettura:-; do
    name=${entry%%:*}
    limit=${entry##*:}
    guest=$(build/bench/tarncount "$dir/$name.bin" < "$dir/parole.txt")
    host=$(counted "$dir/parole.txt" "$work/$name.out" build/tarnsim "$dir/$name.bin")
    row "$name" "$guest" "$host" "$base" "$limit"
done

# A program that prints in a loop, graded: 100 cases of righe on tarngrade's
# console (build/bench/tarncasecount), less 100 cases of the image 0. WRT
# there copies its string into the output kept in memory without leaving the
# run loop. Each byte printed is counted twice over: once as WRT copies it,
# once as the case's result takes the output (a `rep movsb`, which callgrind
# counts byte by byte): 3.96 of the figure.
cases=100
base=$(counted /dev/null /dev/null build/bench/tarncasecount "$work/zero.bin" "$cases")
host=$(counted /dev/null "$work/righe.count" build/bench/tarncasecount "$dir/righe.bin" "$cases")
row "righe (tarngrade)" "$(cat "$work/righe.count")" "$host" "$base" 23

if command -v strace >/dev/null; then
    # The driver writes its own messages in 5 calls; every other write to
    # standard output is one WRT.
    strace -o "$work/trace" -e trace=write build/tarnsim "$dir/stampa.bin" > "$work/stampa.out"
    writes=$(grep -c '^write(1,' "$work/trace")
    lines=$(grep -c 'ciao, mondo' "$work/stampa.out")
    echo "stampa:  $writes write su standard output per $lines WRT (5 dei messaggi della macchina)"
    strace -o "$work/trace" -e trace=read build/tarnsim "$dir/lettura.bin" < "$dir/parole.txt" > /dev/null
    reads=$(grep -c '^read(0,' "$work/trace")
    echo "lettura: $reads read da standard input per $(wc -c < "$dir/parole.txt") byte"
fi

if [ "$over" -ne 0 ]; then
    echo "bench: un programma supera il suo limite di istruzioni host per istruzione guest" >&2
    exit 1
fi
