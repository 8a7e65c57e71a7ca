#!/bin/sh
# The checks of the static edition, one per call:
#
#     run.sh CHECK BUILD SOURCE [ARGUMENT...]
#
# BUILD is the build folder with the two programs, SOURCE the project's
# folder. A program runs in an empty root: a fresh temporary folder that
# holds nothing but the program and the files it reads, with no library, no
# dynamic linker, no /dev, /proc or /tmp, as in the sandbox of a course
# platform that holds only what the teacher copied into it. The root is
# entered with chroot when the check runs as root (as CI does), otherwise in
# a user namespace of its own (unshare -r). Each check removes its root.
check=$1 build=$2 source=$3
shift 3
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
trap 'exit 1' HUP INT TERM

fail() { echo "$*"; exit 1; }
# A program of the build, run in the root, in the root's top folder.
in_root() {
    program=$1
    shift
    cp "$build/$program" "$root/$program" || exit 1
    chroot=$(command -v chroot || echo /usr/sbin/chroot)
    if [ "$(id -u)" -eq 0 ]; then
        NO_COLOR=1 "$chroot" "$root" "/$program" "$@"
    else
        NO_COLOR=1 unshare --user --map-root-user "$chroot" "$root" "/$program" "$@"
    fi
}
# The files of the exercise NAME, copied into the root.
exercise() {
    cp "$source/examples/esercizi/$1.toml" "$source/examples/esercizi/$1"-*.asm \
        "$source/examples/esercizi/$1-voti.csv" "$root/" || exit 1
}

case $check in
stands-alone)
    # The program is statically linked: no dynamic linker, no shared library.
    kind=$(file -b "$build/$1") || exit 1
    echo "$kind"
    case $kind in
    *"statically linked"*) ;;
    *) fail "$1 non è collegato staticamente" ;;
    esac
    ;;
grade)
    # Each solution graded alone, its report and its exit status: 0 for the
    # right one, 1 for the wrong one, with the points it earned.
    exercise somma
    in_root tarngrade somma.toml somma-giusta.asm >"$root/out" 2>"$root/err"
    status=$?
    cat "$root/err"
    [ "$status" -eq 0 ] || fail "somma-giusta: stato di uscita $status invece di 0"
    grep -q '^somma-giusta  (somma-giusta.asm)  9/9 punti$' "$root/out" || { cat "$root/out"; fail "rapporto diverso"; }
    in_root tarngrade somma.toml somma-sbagliata.asm >"$root/out" 2>"$root/err"
    status=$?
    cat "$root/err"
    [ "$status" -eq 1 ] || fail "somma-sbagliata: stato di uscita $status invece di 1"
    grep -q '^somma-sbagliata  (somma-sbagliata.asm)  5/9 punti$' "$root/out" || { cat "$root/out"; fail "rapporto diverso"; }
    grep -q '^  NON SUPERATO  cinque più cinque  ' "$root/out" || { cat "$root/out"; fail "manca il caso non superato"; }
    ;;
reports)
    # The report files written in the root, read back: the gradebook as the
    # exercise's own, the JUnit report by an XML reader, Gradescope's and
    # the full JSON by a JSON reader (Gradescope adds up its tests' scores).
    exercise somma
    in_root tarngrade somma.toml somma-giusta.asm somma-sbagliata.asm \
        --csv voti.csv --junit junit.xml --json rapporto.json >/dev/null
    status=$?
    [ "$status" -eq 1 ] || fail "stato di uscita $status invece di 1"
    diff -u "$root/somma-voti.csv" "$root/voti.csv" || exit 1
    in_root tarngrade somma.toml somma-sbagliata.asm --gradescope results.json >/dev/null
    status=$?
    [ "$status" -eq 1 ] || fail "Gradescope: stato di uscita $status invece di 1"
    python3 - "$root" <<'PYTHON' || exit 1
import json, sys, xml.etree.ElementTree as tree
root = sys.argv[1]
suites = tree.parse(f"{root}/junit.xml").getroot()
assert suites.get("tests") == "12" and suites.get("failures") == "2", suites.attrib
full = json.load(open(f"{root}/rapporto.json", encoding="utf-8"))
assert isinstance(full, dict), full
gradescope = json.load(open(f"{root}/results.json", encoding="utf-8"))
earned = sum(test["score"] for test in gradescope["tests"])
assert len(gradescope["tests"]) == 6 and earned == 5, gradescope["tests"]
PYTHON
    ;;
xlsx)
    # No Excel workbook in this edition: a refusal that names it, status 2,
    # nothing written, nothing graded.
    exercise somma
    in_root tarngrade somma.toml somma-giusta.asm --xlsx voti.xlsx >"$root/out" 2>"$root/err"
    status=$?
    [ "$status" -eq 2 ] || fail "stato di uscita $status invece di 2"
    grep -qx "tarngrade: --xlsx non è disponibile nell'edizione statica per Linux: usa --csv, che ogni foglio di calcolo apre" \
        "$root/err" || { cat "$root/err"; fail "messaggio diverso"; }
    [ ! -s "$root/out" ] || { cat "$root/out"; fail "ha valutato lo stesso"; }
    [ ! -e "$root/voti.xlsx" ] || fail "il rapporto è stato scritto"
    ;;
simulator)
    # tarnsim runs a sample image in the root, to its end.
    cp "$source/examples/ciao.bin" "$root/" || exit 1
    in_root tarnsim ciao.bin </dev/null >"$root/out"
    status=$?
    [ "$status" -eq 0 ] || fail "stato di uscita $status invece di 0"
    grep -qx 'ciao' "$root/out" || { cat "$root/out"; fail "manca l'uscita del programma"; }
    grep -q "spenta con istruzione di RESET" "$root/out" || { cat "$root/out"; fail "non arriva alla fine"; }
    ;;
*)
    fail "controllo sconosciuto: $check"
    ;;
esac
