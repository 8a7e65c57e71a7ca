# Moodle, CodeRunner: il template di una domanda valutata da tarngrade (man
# tarngrade, sezione MOODLE CODERUNNER). La domanda è di tipo python3,
# personalizzata: questo è il suo template, "Is combinator" è spuntato e il
# suo Grader è il "Template grader". I suoi file di supporto: tarngrade (il
# programma statico per Linux) ed esercizio.toml (l'esercizio). La risposta
# dello studente è il sorgente del programma.
#
# Ciò che stampa è l'unico oggetto JSON che CodeRunner legge: quello di
# tarngrade, o uno che dice perché non c'è. Niente va sullo standard error.
import html
import json
import os
import subprocess

risposta = """{{ STUDENT_ANSWER | e('py') }}"""
with open("risposta.asm", "w", encoding="utf-8", newline="") as file:
    file.write(risposta)

comando = ["./tarngrade", "--coderunner", "-j", "1", "esercizio.toml", "--", "risposta.asm"]
try:
    os.chmod("tarngrade", 0o755)
    esito = subprocess.run(comando, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=60, check=False)
    risultato = json.loads(esito.stdout.decode("utf-8"))
except (OSError, ValueError, subprocess.SubprocessError) as errore:
    risultato = {"fraction": 0,
                 "prologuehtml": "<p>tarngrade non ha dato un risultato: "
                                 + html.escape(str(errore)) + "</p>"}
print(json.dumps(risultato))
