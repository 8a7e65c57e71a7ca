#!/bin/sh
# Valuta programma.asm, nella cartella da cui parte, con esercizio.toml e
# scrive in $GITHUB_OUTPUT, in base64 come il reporter di GitHub Classroom lo
# vuole, il risultato "result" del passo. Accanto a questo file ci vuole
# tarngrade, il programma statico dell'archivio per Linux.
cartella=$(dirname "$0")
tarngrade=$cartella/tarngrade
[ -x "$tarngrade" ] || chmod +x "$tarngrade" || exit 2
risultati=${RUNNER_TEMP:-/tmp}/tarngrade-risultati.json

# Il rapporto sullo standard output non serve: il reporter stampa i casi, e
# di quelli nascosti solo l'esito.
"$tarngrade" "$cartella/esercizio.toml" programma.asm \
    --github-classroom "$risultati" > /dev/null
stato=$?
# 0 e 1 sono un voto; 2 vuol dire che non si è potuto valutare.
if [ "$stato" -gt 1 ]; then
    echo "tarngrade non ha potuto valutare programma.asm (stato $stato)" >&2
    exit "$stato"
fi
printf 'result=%s\n' "$(base64 -w 0 "$risultati")" >> "${GITHUB_OUTPUT:?}"
