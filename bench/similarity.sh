#!/usr/bin/env bash
# What --somiglianze costs on a large class: peak memory and time of
# tarngrade with and without it, on two made-up classes.
#
# - copie: COPIES copies of one program (every pair identical);
# - varianti: VARIANTS images of 250 one-byte instructions, each the same
#   random program with a tenth of its instructions changed at random, so
#   that every pair is some 85 % alike and none is identical.
#
# The variants are then compared once more without the program they all
# come from, given as the skeleton (--scheletro).
#
#     bench/similarity.sh [COPIES [VARIANTS [TARNGRADE]]]
#
# TARNGRADE is the program to measure, build/tarngrade (built first) by
# default; give another one to compare an older build.
#
# With --somiglianze, on a machine of 2 shared cores (CPU seconds):
#
#                          every pair kept        only the pairs shown
#     copie, 3000          204.7 MB, 0.36 s       7.6 MB, 0.05 s
#     varianti, 6000       833.0 MB, 52.9 s       19.2 MB, 34.5 s
#
# against 7.4 and 15.1 MB without it. The variants without the program they
# come from (--scheletro): 18.3 MB, 8.1 s of CPU.
set -euo pipefail
cd "$(dirname "$0")/.."
copies="${1:-3000}"
variants="${2:-6000}"
program="${3:-}"
if [ -z "$program" ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target tarngrade >/dev/null
    program=build/tarngrade
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/esercizio.toml" <<'EOF'
titolo = "Somiglianze"
limite_istruzioni = 1000

[[caso]]
nome = "uno"
uscita = "x"
EOF

mkdir "$work/copie" "$work/varianti"
python3 - "$work" "$copies" "$variants" <<'EOF'
import random, sys
work, copies, variants = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
source = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n"
for n in range(copies):
    with open(f"{work}/copie/st{n:04d}.asm", "w") as f:
        f.write(source)
rng = random.Random(6000)
base = [rng.randint(1, 15) for _ in range(250)]  # one-byte opcodes, RST (0) last
for n in range(variants):
    image = list(base)
    for position in rng.sample(range(len(image)), len(image) // 10):
        image[position] = rng.randint(1, 15)
    with open(f"{work}/varianti/st{n:04d}.bin", "wb") as f:
        f.write(bytes(image + [0]))
with open(f"{work}/scheletro.bin", "wb") as f:
    f.write(bytes(base + [0]))
EOF

# Peak memory in MB, seconds and CPU seconds of one run; its report is dropped and its
# exit status 1 (every case fails) expected.
measure() {
    local status=0
    /usr/bin/time -f '%M %e %U %S' -o "$work/time" "$program" "$@" >/dev/null 2>"$work/err" || status=$?
    if [ "$status" -ne 1 ]; then
        echo "bench: tarngrade è uscito con stato $status invece di 1" >&2
        cat "$work/err" >&2
        exit 1
    fi
    # The last line: before it, time notes the exit status.
    tail -n 1 "$work/time" | awk '{ printf "%6.1f MB %6.2f s (CPU %.2f s)", $1 / 1024, $2, $3 + $4 }'
}

for class in copie varianti; do
    printf '%-9s %5d consegne  senza: %s   con --somiglianze: %s\n' "$class" \
        "$(ls "$work/$class" | wc -l)" \
        "$(measure "$work/esercizio.toml" "$work/$class"/*)" \
        "$(measure "$work/esercizio.toml" "$work/$class"/* --somiglianze)"
done
printf 'varianti  con --somiglianze --scheletro (il programma da cui vengono): %s\n' \
    "$(measure "$work/esercizio.toml" "$work/varianti"/* --somiglianze --scheletro "$work/scheletro.bin")"
