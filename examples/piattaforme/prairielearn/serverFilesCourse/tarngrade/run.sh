#!/bin/sh
# L'entrypoint di PrairieLearn per le domande di tarnsim: valuta i file dello
# studente con l'esercizio nella cartella tests/ della domanda e scrive
# results/results.json. Accanto a questo file ci vuole tarngrade, il
# programma statico dell'archivio per Linux. La radice è /grade, dove
# PrairieLearn mette tutto, o quella in cui si trova questo file, tre
# cartelle più su, per provarlo altrove.
radice=$(cd "$(dirname "$0")/../.." && pwd) || exit 1
tarngrade=$radice/serverFilesCourse/tarngrade/tarngrade
[ -x "$tarngrade" ] || chmod +x "$tarngrade"
mkdir -p "$radice/results" || exit 1

# Il rapporto sullo standard output non serve: PrairieLearn mostra i casi del
# file, e di quelli nascosti solo l'esito.
"$tarngrade" "$radice/tests/esercizio.toml" "$radice/student" \
    --prairielearn "$radice/results/results.json" > /dev/null
stato=$?
# 0 e 1 sono un voto; con 2 non si è potuto valutare, e il motivo è sullo
# standard error: la consegna non si valuta, e lo studente non perde il
# tentativo.
if [ "$stato" -gt 1 ]; then
    printf '{"gradable": false, "format_errors": ["%s"]}\n' \
        "Non si è potuto valutare la consegna (stato $stato): avvisa il docente." \
        > "$radice/results/results.json"
fi
exit 0
