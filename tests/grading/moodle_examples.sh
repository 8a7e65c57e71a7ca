#!/bin/sh
# The Moodle setups of examples/piattaforme, run as their platform would run
# them, with tarngrade and an example exercise copied in as a teacher would
# copy them:
#
#     moodle_examples.sh TARNGRADE EXAMPLES TARNGRADE.1
#
# VPL: vpl_evaluate.sh in a folder holding what a VPL evaluation holds (the
# execution files, the student's file, a vpl_environment.sh that names it in
# VPL_SUBFILE0 and gives VPL_GRADEMAX), then the vpl_execution it built,
# whose last "Grade :=>>" line must be the grade. CodeRunner: the question's
# template with the answer put in as CodeRunner's Twig puts it
# ({{ STUDENT_ANSWER | e('py') }}), run by python3, which must print one
# JSON object with the fraction, and nothing on standard error. The manual
# page shows each in full, after a comment that names it: what it shows must
# be the file.
tarngrade=$1 examples=$2 manual=$3
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "$*"; status=1; }

# vpl STUDENT-FILE GRADEMAX EXPECTED-GRADE (an empty STUDENT-FILE: none handed in)
vpl() {
    folder=$work/vpl
    rm -rf "$folder" && mkdir "$folder" || exit 1
    cp "$examples/piattaforme/moodle-vpl/vpl_evaluate.sh" "$tarngrade" "$folder/" || exit 1
    cp "$examples/esercizi/somma.toml" "$folder/esercizio.toml" || exit 1
    : > "$folder/vpl_environment.sh"
    if [ -n "$1" ]; then
        cp "$examples/esercizi/$1" "$folder/consegna.asm" || exit 1
        echo "export VPL_SUBFILE0=consegna.asm" >> "$folder/vpl_environment.sh"
    fi
    echo "export VPL_GRADEMAX=$2" >> "$folder/vpl_environment.sh"
    (cd "$folder" && env -u VPL_GRADEMAX -u VPL_SUBFILE0 bash vpl_evaluate.sh) || fail "vpl $1: vpl_evaluate.sh"
    [ -x "$folder/vpl_execution" ] || { fail "vpl $1: nessun vpl_execution"; return; }
    grade=$(cd "$folder" && env -u VPL_GRADEMAX ./vpl_execution | grep '^Grade :=>>' | tail -n 1)
    [ "$grade" = "Grade :=>> $3" ] || fail "vpl $1: '$grade' invece di 'Grade :=>> $3'"
}
vpl somma-giusta.asm 10 10
vpl somma-sbagliata.asm 10 "$(cd "$examples/esercizi" &&
    env VPL_GRADEMAX=10 "$tarngrade" --vpl somma.toml somma-sbagliata.asm | sed -n 's/^Grade :=>> //p')"
vpl somma-sbagliata.asm 30 "$(cd "$examples/esercizi" &&
    env VPL_GRADEMAX=30 "$tarngrade" --vpl somma.toml somma-sbagliata.asm | sed -n 's/^Grade :=>> //p')"
vpl "" 10 0

# coderunner ANSWER-FILE EXPECTED-FRACTION
coderunner() {
    folder=$work/coderunner
    rm -rf "$folder" && mkdir "$folder" || exit 1
    cp "$tarngrade" "$folder/tarngrade" || exit 1
    cp "$examples/esercizi/somma.toml" "$folder/esercizio.toml" || exit 1
    python3 - "$examples/piattaforme/moodle-coderunner/template.py" "$1" "$folder/prova.py" <<'PYTHON' || exit 1
import sys
template, answer_path, program = sys.argv[1:]
with open(answer_path, encoding="utf-8", newline="") as file:
    answer = file.read()
# Twig's escaper for Python strings, as CodeRunner has it.
for plain, escaped in (("\\", "\\\\"), ("'", "\\'"), ('"', '\\"'), ("\n", "\\n"), ("\r", "\\r"), ("\t", "\\t")):
    answer = answer.replace(plain, escaped)
with open(template, encoding="utf-8") as file:
    text = file.read()
marker = "{{ STUDENT_ANSWER | e('py') }}"
assert marker in text
with open(program, "w", encoding="utf-8") as file:
    file.write(text.replace(marker, answer))
PYTHON
    (cd "$folder" && python3 prova.py > risultato.json 2> errori.txt) || fail "coderunner $1: python3"
    [ -s "$folder/errori.txt" ] && fail "coderunner $1: standard error: $(cat "$folder/errori.txt")"
    fraction=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["fraction"])' "$folder/risultato.json") ||
        fail "coderunner $1: $(cat "$folder/risultato.json")"
    [ "$fraction" = "$2" ] || fail "coderunner $1: fraction $fraction invece di $2"
    cmp -s "$folder/risposta.asm" "$1" || fail "coderunner $1: la risposta scritta non è quella data"
}
coderunner "$examples/esercizi/somma-giusta.asm" 1.0
printf '; "virgolette", \\ e \x27apici\x27\r\n        RST\n' > "$work/strana.asm"
coderunner "$work/strana.asm" 0.0
# The question as Moodle XML: its template is template.py, its answer the
# exercise's correct solution, and it is graded by the template alone.
python3 - "$examples" <<'PYTHON' || fail "domanda.xml non è la domanda dell'esempio"
import sys
import xml.etree.ElementTree as tree
examples = sys.argv[1]
question = tree.parse(examples + "/piattaforme/moodle-coderunner/domanda.xml").getroot().find("question")
def read(name):
    with open(examples + "/" + name, encoding="utf-8", newline="") as file:
        return file.read()
assert question.get("type") == "coderunner"
assert question.findtext("template") == read("piattaforme/moodle-coderunner/template.py")
assert question.findtext("answer") == read("esercizi/somma-giusta.asm")
assert question.findtext("iscombinatortemplate") == "1"
assert question.findtext("grader") == "TemplateGrader"
assert question.findtext("language") == "python3"
PYTHON

# Every example the manual page shows, as the page shows it: the Nth block
# in pagina-N, its name on the Nth line of nomi.
awk -v work="$work" '
    /^\.\\" examples\/piattaforme\// { name = $2; next }
    /^\.nf$/ && name != "" { count++; file = work "/pagina-" count; print name > (work "/nomi"); inside = 1; next }
    /^\.fi$/ { inside = 0; name = ""; next }
    inside {
        gsub(/\\\(`u/, "ù"); gsub(/\\\(`e/, "è"); gsub(/\\\(`a/, "à"); gsub(/\\\(`o/, "ò"); gsub(/\\\(`i/, "ì")
        gsub(/\\\(\047e/, "é"); gsub(/\\\(aq/, "\047"); gsub(/\\-/, "-"); gsub(/\\&/, ""); gsub(/\\e/, "\\")
        print > file
    }
' "$manual" || exit 1
shown=0
[ -f "$work/nomi" ] && while read -r name; do
    shown=$((shown + 1))
    file=$examples/${name#examples/}
    cmp -s "$work/pagina-$shown" "$file" ||
        fail "la pagina di manuale non mostra $name com'è: $(diff "$work/pagina-$shown" "$file" | head -5)"
done < "$work/nomi"
[ "$shown" = 2 ] || fail "la pagina di manuale mostra $shown esempi di Moodle invece di 2"
exit $status
