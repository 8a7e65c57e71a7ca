#!/usr/bin/env bash
# Host instructions per guest instruction of the Release build, counted with
# callgrind (repeatable on a busy machine): the count of a whole run of
# tarnsim, less that of the one-byte image 0, over the guest instructions the
# program executes. Then the system calls of the output and input programs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
dir=build/bench
bench/words.sh > "$dir/parole.txt"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '\0' > "$work/zero.bin"

# Instructions counted by callgrind for: tarnsim IMAGE < INPUT > OUTPUT
hostInstructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null build/tarnsim "$1" < "$2" > "$3" 2> "$work/log"
    awk '/Collected/ { print $4 }' "$work/log"
}

base=$(hostInstructions "$work/zero.bin" /dev/null /dev/null)
printf '%-10s %12s %18s %8s\n' programma guest host/guest limite
for entry in contatore:12 misto:16 stampa:- lettura:-; do
    name=${entry%%:*}
    limit=${entry##*:}
    guest=$(build/bench/tarncount "$dir/$name.bin" < "$dir/parole.txt")
    host=$(hostInstructions "$dir/$name.bin" "$dir/parole.txt" "$work/$name.out")
    awk -v n="$name" -v g="$guest" -v h="$host" -v b="$base" -v l="$limit" \
        'BEGIN { printf "%-10s %12d %18.2f %8s\n", n, g, (h - b) / g, l }'
done

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
