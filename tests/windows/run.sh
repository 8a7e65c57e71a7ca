#!/bin/sh
# The checks of the Windows edition under wine, one per call:
#
#     run.sh CHECK WINE-RUN PREFIX BUILD SOURCE [ARGUMENT...]
#
# WINE-RUN and PREFIX are the build's emulator (cmake/wine-run and its wine
# prefix), BUILD the build folder with the .exe files, SOURCE the project's
# folder. Every program runs in a session of its own, without a terminal or
# a console: the tracer never waits for a key. Each check works in a
# temporary folder of its own, removed at the end.
check=$1 wine_run=$2 prefix=$3 build=$4 source=$5
shift 5
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

# Wine reads the arguments, and the host's names, in the locale's encoding:
# UTF-8, as the checks write them.
run() { LC_ALL=C.UTF-8 setsid -w "$wine_run" "$prefix" "$@"; }
# The same in a pseudo-terminal, where the program has a console (see
# console.py); what the console showed goes to standard output.
on_console() { LC_ALL=C.UTF-8 python3 "$(dirname "$0")/console.py" "$@"; }
fail() { echo "$*"; exit 1; }
# A text's line ends as a stream in text mode gives them: LF becomes CR LF.
crlf() { sed 's/$/\r/' "$1"; }
# And back: a program's output with LF line ends.
unix() { tr -d '\r' <"$1"; }

case $check in
example)
    # An example through tarnsim.exe: its whole output, byte for byte, but
    # for the line ends.
    name=$1
    cd "$build" || exit 1
    run ./tarnsim.exe "examples/$name.bin" <"$source/examples/$name.in" >"$work/out" || fail "stato di uscita $?"
    crlf "$source/examples/$name.out" >"$work/expected"
    cmp "$work/expected" "$work/out" || { diff "$work/expected" "$work/out" | head -20; exit 1; }
    ;;
input-crlf)
    # Standard input is read in text mode: an input with CR LF line ends
    # reads as the one with LF.
    name=$1
    cd "$build" || exit 1
    crlf "$source/examples/$name.in" >"$work/in"
    run ./tarnsim.exe "examples/$name.bin" <"$work/in" >"$work/out" || fail "stato di uscita $?"
    crlf "$source/examples/$name.out" | cmp - "$work/out" || exit 1
    ;;
binary-image)
    # The image is read in binary mode: its bytes 0x0D 0x0A and 0x1A are
    # the program's (in text mode the CR would go, and 0x1A end the file).
    printf 'WRT m\nRST\nm: DB "uno", 13, 10, "due", 26, "tre", 10, 0\n' >"$work/prova.asm"
    run "$build/tarnasm.exe" "$work/prova.asm" -o "$work/prova.bin" || fail "tarnasm: stato di uscita $?"
    printf '\107\003\000uno\r\ndue\032tre\n\000' | cmp - "$work/prova.bin" || fail "immagine diversa"
    run "$build/tarnsim.exe" "$work/prova.bin" </dev/null >"$work/out" || fail "tarnsim: stato di uscita $?"
    # What the program prints, from its first byte on.
    at=$(grep -abo 'uno' "$work/out" | head -n 1 | cut -d: -f1)
    [ -n "$at" ] || fail "il programma non ha stampato nulla"
    printf 'uno\r\r\ndue\032tre\r\n\r\n\r\n La Macchina' >"$work/expected"
    tail -c +$((at + 1)) "$work/out" | head -c "$(wc -c <"$work/expected")" | cmp - "$work/expected" ||
        { tail -c 200 "$work/out" | od -c; fail "uscita diversa"; }
    ;;
round-trip)
    # An example assembled by tarnasm.exe is the image of the build (and
    # of the native build, when there is one); disassembled by tarndis.exe
    # and assembled again, it is the same bytes.
    name=$1 native=$2
    run "$build/tarnasm.exe" "$source/examples/$name.asm" -o "$work/a.bin" || fail "tarnasm: stato di uscita $?"
    cmp "$build/examples/$name.bin" "$work/a.bin" || exit 1
    if [ -f "$native/examples/$name.bin" ]; then cmp "$native/examples/$name.bin" "$work/a.bin" || exit 1; fi
    run "$build/tarndis.exe" "$work/a.bin" >"$work/b.asm" || fail "tarndis: stato di uscita $?"
    grep -q "$(printf '\r')\$" "$work/b.asm" || fail "tarndis non scrive le righe in modo testo"
    run "$build/tarnasm.exe" "$work/b.asm" -o "$work/b.bin" || fail "tarnasm: stato di uscita $?"
    cmp "$work/a.bin" "$work/b.bin" || exit 1
    ;;
grade)
    # An exercise's solution: the correct one passes (0), the wrong one
    # fails (1); any other status is an error.
    name=$1 verdict=$2 expected=$3
    cd "$source/examples/esercizi" || exit 1
    NO_COLOR=1 run "$build/tarngrade.exe" "$name.toml" "$name-$verdict.asm" >"$work/out"
    status=$?
    [ "$status" -eq "$expected" ] || { cat "$work/out"; fail "stato di uscita $status invece di $expected"; }
    ;;
reports)
    # Both solutions graded together: the gradebook as the native edition
    # writes it (the reports are bytes, not text), and a JSON report.
    name=$1
    cd "$source/examples/esercizi" || exit 1
    run "$build/tarngrade.exe" "$name.toml" "$name-giusta.asm" "$name-sbagliata.asm" \
        --csv "$work/voti.csv" --json "$work/rapporto.json" >/dev/null
    status=$?
    [ "$status" -eq 1 ] || fail "stato di uscita $status invece di 1"
    diff -u "$name-voti.csv" "$work/voti.csv" || exit 1
    head -c 1 "$work/rapporto.json" | grep -q '{' || fail "il rapporto JSON non comincia con {"
    grep -q "$name-sbagliata" "$work/rapporto.json" || fail "il rapporto JSON non nomina le consegne"
    ;;
junit)
    # No JUnit report in this edition: a clear refusal, status 2, nothing written.
    cd "$source/examples/esercizi" || exit 1
    run "$build/tarngrade.exe" somma.toml somma-giusta.asm --junit "$work/junit.xml" >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 2 ] || fail "stato di uscita $status invece di 2"
    grep -q "^tarngrade: --junit non è disponibile nell'edizione per Windows: usa --json, --csv o --gradescope" \
        "$work/err" || { cat "$work/err"; fail "messaggio diverso"; }
    [ ! -e "$work/junit.xml" ] || fail "il rapporto è stato scritto"
    ;;
xlsx)
    # No Excel workbook in this edition either: a clear refusal, status 2.
    cd "$source/examples/esercizi" || exit 1
    run "$build/tarngrade.exe" somma.toml somma-giusta.asm --xlsx "$work/voti.xlsx" >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 2 ] || fail "stato di uscita $status invece di 2"
    grep -q "^tarngrade: --xlsx non è disponibile nell'edizione per Windows: usa --csv" \
        "$work/err" || { cat "$work/err"; fail "messaggio diverso"; }
    [ ! -e "$work/voti.xlsx" ] || fail "il rapporto è stato scritto"
    ;;
wildcards)
    # The start-up expands a pattern, as the command prompt does not.
    cd "$source/examples/esercizi" || exit 1
    NO_COLOR=1 run "$build/tarngrade.exe" somma.toml 'somma-*.asm' >"$work/out"
    status=$?
    [ "$status" -eq 1 ] || { cat "$work/out"; fail "stato di uscita $status invece di 1"; }
    grep -q "somma-giusta" "$work/out" && grep -q "somma-sbagliata" "$work/out" || { cat "$work/out"; fail "non valuta le due consegne"; }
    ;;
outputs)
    # The output rules: an old file is replaced whole, and no temporary
    # file is left; a failed output leaves every output as it was; a folder
    # or a link is never replaced; an output never takes the source's place,
    # whatever the case of its name.
    cd "$work" || exit 1
    cp "$source/examples/saluto.asm" saluto.asm
    echo vecchia >saluto.bin
    run "$build/tarnasm.exe" saluto.asm -l saluto.lst || fail "stato di uscita $?"
    cmp "$build/examples/saluto.bin" saluto.bin || fail "l'immagine non è stata sostituita"
    [ "$(ls -A | grep -c '^\.tarn-')" -eq 0 ] || fail "file temporanei lasciati: $(ls -A)"
    echo vecchia >saluto.bin
    mkdir cartella
    run "$build/tarnasm.exe" saluto.asm -l cartella 2>err && fail "un listato su una cartella è riuscito"
    grep -q "è una cartella" err || { cat err; fail "messaggio diverso"; }
    [ "$(cat saluto.bin)" = vecchia ] || fail "l'immagine è cambiata benché il listato non si potesse scrivere"
    echo bersaglio >bersaglio
    ln -s bersaglio collegamento
    run "$build/tarnasm.exe" saluto.asm -o collegamento 2>err && fail "scritto attraverso un collegamento"
    grep -q "collegamento simbolico" err || { cat err; fail "messaggio diverso"; }
    [ "$(cat bersaglio)" = bersaglio ] && [ -L collegamento ] || fail "il collegamento o il suo bersaglio sono cambiati"
    run "$build/tarnasm.exe" saluto.asm -o SALUTO.ASM 2>err && fail "l'immagine ha preso il posto del sorgente"
    grep -q "prenderebbe il posto del sorgente" err || { cat err; fail "messaggio diverso"; }
    cmp "$source/examples/saluto.asm" saluto.asm || fail "il sorgente è cambiato"
    [ "$(ls -A | grep -c '^\.tarn-')" -eq 0 ] || fail "file temporanei lasciati: $(ls -A)"
    ;;
names)
    # Names outside the ANSI code page reach the programs whole: a class in
    # uni\* whose folders are named Ștefan and Niccolò is graded, with its
    # names and paths as typed in the text report, the CSV and the JSON
    # (read by Python's own readers); a case named with an accent is
    # found; tarnasm writes perché.bin for perché.asm, and tarnsim runs it.
    cd "$work" || exit 1
    cp "$source/examples/esercizi/somma.toml" "$source/examples/esercizi/somma-giusta.asm" .
    for student in Ștefan Niccolò Anna; do
        mkdir -p "uni/$student" && cp somma-giusta.asm "uni/$student/somma.asm"
    done
    cp "$source/examples/esercizi/somma-sbagliata.asm" uni/Niccolò/somma.asm
    NO_COLOR=1 run "$build/tarngrade.exe" somma.toml 'uni\*' --csv voti.csv --json rapporto.json >out 2>err
    status=$?
    [ "$status" -eq 1 ] || { cat out err; fail "stato di uscita $status invece di 1"; }
    for line in 'Ștefan  (uni\Ștefan\somma.asm)  9/9 punti' 'Niccolò  (uni\Niccolò\somma.asm)  5/9 punti'; do
        unix out | grep -qxF "$line" || { cat out; fail "manca la riga: $line"; }
    done
    python3 - <<'PYTHON' || fail "i rapporti non nominano gli studenti come sono"
import csv, json
with open("voti.csv", encoding="utf-8", newline="") as file:
    students = [row[0] for row in csv.reader(file)][1:]
assert sorted(students) == ["Anna", "Niccolò", "Ștefan"], students
with open("rapporto.json", encoding="utf-8") as file:
    submissions = json.load(file)["consegne"]
found = {s["studente"]: (s["argomento"], s["programma"]) for s in submissions}
assert found["Niccolò"] == ("uni\\Niccolò", "uni\\Niccolò\\somma.asm"), found
assert found["Ștefan"] == ("uni\\Ștefan", "uni\\Ștefan\\somma.asm"), found
PYTHON
    NO_COLOR=1 run "$build/tarngrade.exe" somma.toml 'uni\Niccolò' --caso 'tre più quattro' >out 2>err
    status=$?
    [ "$status" -eq 0 ] || { cat out err; fail "--caso: stato di uscita $status invece di 0"; }
    unix out | grep -qxF 'Caso «tre più quattro» di Niccolò' || { cat out; fail "--caso non mostra il caso"; }
    cp somma-giusta.asm perché.asm
    run "$build/tarnasm.exe" perché.asm >out 2>err || { cat err; fail "tarnasm: stato di uscita $?"; }
    run "$build/tarnasm.exe" somma-giusta.asm -o giusta.bin || fail "tarnasm: stato di uscita $?"
    cmp giusta.bin perché.bin || { ls; fail "tarnasm non ha scritto perché.bin"; }
    printf '3 4\n' | run "$build/tarnsim.exe" perché.bin >out 2>err || { cat out err; fail "tarnsim: stato di uscita $?"; }
    grep -qF '(perché.bin)' out && unix out | grep -qx 7 || { cat out err; fail "tarnsim non ha eseguito perché.bin"; }
    ;;
console)
    # A console shows the programs' UTF-8 as it is and gives what is typed
    # in UTF-8: the names of a report, and a word that a program reads and
    # prints back after a text of its own.
    cd "$work" || exit 1
    cp "$source/examples/esercizi/somma.toml" "$source/examples/esercizi/somma-giusta.asm" .
    mkdir -p uni/Niccolò && cp somma-giusta.asm uni/Niccolò/somma.asm
    NO_COLOR=1 on_console "$wine_run" "$prefix" "$build/tarngrade.exe" somma.toml 'uni\Niccolò' >out
    status=$?
    [ "$status" -eq 0 ] || { cat out; fail "tarngrade: stato di uscita $status invece di 0"; }
    grep -qF 'Niccolò  (uni\Niccolò\somma.asm)  9/9 punti' out || { cat out; fail "la console non mostra i nomi"; }
    printf 'WRT saluto\nINP parola\nWRT parola\nRST\nsaluto: DB "Ștefan dice: ", 0\nparola: DB 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0\n' >eco.asm
    run "$build/tarnasm.exe" eco.asm || fail "tarnasm: stato di uscita $?"
    on_console --type città --after 'Ștefan dice:' "$wine_run" "$prefix" "$build/tarnsim.exe" eco.bin >out
    status=$?
    [ "$status" -eq 0 ] || { cat out; fail "tarnsim: stato di uscita $status invece di 0"; }
    # The typed word shows as it is typed, then as WRT prints it.
    grep -qxF 'città' out || { cat out; fail "la console non mostra la parola stampata"; }
    ;;
commands)
    # The commands of a report on Windows: the replay command, run by
    # cmd.exe as printed, replays the case; the debugger's line sends to
    # the browser edition, and no line names tarndbg, which Windows lacks.
    cd "$work" || exit 1
    cp "$source/examples/esercizi/somma.toml" "$source/examples/esercizi/somma-giusta.asm" .
    student="d'amico & c (copia)"
    mkdir -p "uni/$student" && cp "$source/examples/esercizi/somma-sbagliata.asm" "uni/$student/somma.asm"
    NO_COLOR=1 run "$build/tarngrade.exe" somma.toml 'uni\*' >out
    [ $? -eq 1 ] || { cat out; fail "stato di uscita diverso da 1"; }
    replay=$(unix out | sed -n 's/^    per rivederlo: //p' | head -n 1)
    [ "$replay" = "tarngrade somma.toml \"uni\\$student\" --caso \"cinque più cinque\"" ] ||
        { cat out; fail "comando diverso: $replay"; }
    unix out | grep -qxF "    nel debugger: apri 'uni\\$student\\somma.asm' nell'edizione per il browser, con l'ingresso del caso in «Ingresso»" ||
        { cat out; fail "il debugger non rimanda all'edizione per il browser"; }
    ! grep -q tarndbg out || { cat out; fail "il rapporto nomina tarndbg"; }
    # cmd.exe reads a batch file in the console's code page, 437 in wine's.
    printf '@%s\r\n' "$replay" | iconv -f UTF-8 -t CP437 >rivedi.cmd || fail "iconv"
    NO_COLOR=1 WINEPATH="$(LC_ALL=C.UTF-8 WINEPREFIX="$prefix" winepath -w "$build" 2>/dev/null)" \
        run cmd /c rivedi.cmd >out 2>err
    unix out | grep -qxF "Caso «cinque più cinque» di $student" || { cat out err; fail "il comando non rivede il caso"; }
    ;;
paths)
    # What is wrong with a path is said as it is: a folder (with its
    # separator too), the path as typed, one file named twice, a pattern
    # that matches nothing.
    cd "$work" || exit 1
    cp "$source/examples/esercizi/somma.toml" "$source/examples/esercizi/somma-giusta.asm" .
    mkdir uni
    while IFS='|' read -r program arguments expected; do
        eval "set -- $arguments"
        run "$build/$program.exe" "$@" >out 2>err
        status=$?
        [ "$status" -eq 2 ] || { cat err; fail "$program $arguments: stato di uscita $status invece di 2"; }
        unix err | grep -qxF "$expected" || { cat err; fail "$program $arguments: manca il messaggio: $expected"; }
    done <<'CASES'
tarngrade|somma.toml somma-giusta.asm --csv 'uni\'|tarngrade: impossibile scrivere il rapporto 'uni\': è una cartella
tarngrade|somma.toml somma-giusta.asm --csv '.\'|tarngrade: impossibile scrivere il rapporto '.\': è una cartella
tarngrade|somma.toml somma-giusta.asm --csv 'nessuna\voti.csv'|tarngrade: impossibile scrivere il rapporto 'nessuna\voti.csv': file o cartella inesistente
tarngrade|somma.toml 'uni\*.asm'|tarngrade: impossibile leggere la consegna 'uni\*.asm': nessun file corrisponde a questo modello
tarnasm|'uni\x?.asm'|tarnasm: impossibile leggere il sorgente 'uni\x?.asm': nessun file corrisponde a questo modello
tarndis|'*.bin'|tarndis: impossibile leggere l'immagine '*.bin': nessun file corrisponde a questo modello
CASES
    run "$build/tarngrade.exe" somma.toml somma-giusta.asm --csv a.csv --json a.csv. >out 2>err
    [ $? -eq 2 ] || fail "--csv a.csv --json a.csv.: stato di uscita diverso da 2"
    grep -q "^tarngrade: i rapporti --json e --csv non possono essere lo stesso file" err || { cat err; fail "a.csv e a.csv. non sono lo stesso file"; }
    [ ! -e a.csv ] || fail "un rapporto è stato scritto"
    run "$build/tarnsim.exe" 'uni\*.bin' >out 2>err
    unix err | grep -qxF "tarnsim: impossibile aprire il programma 'uni\\*.bin': nessun file corrisponde a questo modello" ||
        { cat err; fail "tarnsim: messaggio diverso"; }
    ;;
*)
    fail "controllo sconosciuto: $check"
    ;;
esac
