#!/bin/sh
# The example exercises that README.md and man/tarngrade.1 quote, graded by
# the real tarngrade against the correct solution shipped beside the
# exercise they come from: each must pass it whole (exit status 0).
#
#     documented_exercises.sh TARNGRADE README.md tarngrade.1 examples/esercizi
#
# README.md: every ```toml block, whose first line names its exercise as
# "# examples/esercizi/NAME.toml". tarngrade.1: every .nf/.fi block of the
# ESEMPIO section, after the ".B NAME.toml" line that names it.
tarngrade=$1 readme=$2 manual=$3 exercises=$4
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

awk -v work="$work" '
    /^```toml$/ { inside = 1; count++; file = work "/readme-" count ".toml"; next }
    /^```/ { inside = 0; next }
    inside { print > file }
' "$readme" || exit 1
awk -v work="$work" '
    /^\.SH / { example = ($0 == ".SH ESEMPIO") }
    example && /^\.B [a-z-]+\.toml$/ { name = $2; sub(/\.toml$/, "", name) }
    example && /^\.nf$/ && name != "" { inside = 1; count++; file = work "/man-" count "-" name ".toml"; next }
    /^\.fi$/ { inside = 0; name = ""; next }
    inside {
        gsub(/\\\(`u/, "ù"); gsub(/\\\(`e/, "è"); gsub(/\\\(`a/, "à"); gsub(/\\\(`o/, "ò"); gsub(/\\\(`i/, "ì")
        gsub(/\\\(aq/, "\047"); gsub(/\\\(dq/, "\""); gsub(/\\-/, "-"); gsub(/\\e/, "\\")
        print > file
    }
' "$manual" || exit 1

status=0
checked=0
for file in "$work"/readme-*.toml "$work"/man-*.toml; do
    [ -f "$file" ] || continue
    where=$(basename "$file")
    case "$where" in
        readme-*) name=$(sed -n '1s|^# examples/esercizi/\([a-z-]*\)\.toml.*|\1|p' "$file") ;;
        *) name=${where#man-}; name=${name#*-}; name=${name%.toml} ;;
    esac
    if [ -z "$name" ] || [ ! -f "$exercises/$name-giusta.asm" ]; then
        echo "$where: non dice da quale esercizio di $exercises viene"
        status=1
        continue
    fi
    NO_COLOR=1 "$tarngrade" "$file" "$exercises/$name-giusta.asm" >"$work/report" 2>&1
    result=$?
    if [ "$result" -ne 0 ]; then
        echo "$where ($name): stato di uscita $result invece di 0 con $name-giusta.asm"
        cat "$work/report"
        status=1
    fi
    checked=$((checked + 1))
done
for source in readme man; do
    ls "$work"/$source-*.toml >/dev/null 2>&1 || { echo "nessun esercizio trovato in $source"; status=1; }
done
echo "$checked esercizi controllati"
exit $status
