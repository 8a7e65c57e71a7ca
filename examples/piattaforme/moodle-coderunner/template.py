# Moodle, CodeRunner: the template of a question graded by tarngrade (man
# tarngrade, section MOODLE CODERUNNER). The question is of type python3,
# customised: this is its template, "Is combinator" is ticked and its grader
# is the "Template grader". Its support files: tarngrade (the program for
# Linux) and esercizio.toml (the exercise). The student's answer is the
# source of the program.
#
# What this prints is the one JSON object that CodeRunner reads: tarngrade's
# own, or one that says why there is none. Nothing goes to standard error.
import html
import json
import os
import subprocess

answer = """{{ STUDENT_ANSWER | e('py') }}"""
with open("risposta.asm", "w", encoding="utf-8", newline="") as file:
    file.write(answer)

try:
    os.chmod("tarngrade", 0o755)
    run = subprocess.run(["./tarngrade", "--coderunner", "-j", "1", "esercizio.toml", "--", "risposta.asm"],
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=False)
    result = json.loads(run.stdout.decode("utf-8"))
except (OSError, ValueError, subprocess.SubprocessError) as error:
    result = {"fraction": 0, "prologuehtml": "<p>tarngrade non ha dato un risultato: " + html.escape(str(error)) + "</p>"}
print(json.dumps(result))
