#!/bin/bash
# Moodle, Virtual Programming Lab: la valutazione di un'attività con tarngrade
# (man tarngrade, sezione MOODLE VPL).
#
# I file di esecuzione dell'attività: questo vpl_evaluate.sh, tarngrade (il
# programma statico per Linux) ed esercizio.toml (l'esercizio). Lo studente
# consegna un file, un sorgente .asm o un'immagine .bin, che VPL nomina in
# VPL_SUBFILE0.
#
# tarngrade gira qui, mentre VPL prepara la valutazione; vpl_execution, che
# VPL esegue subito dopo e dalla cui uscita legge il voto e i commenti, mostra
# solo ciò che tarngrade ha scritto. Così i file di esecuzione non servono
# durante l'esecuzione, e lo studente non mette mai le mani sull'esercizio.
[ -f vpl_environment.sh ] && . ./vpl_environment.sh
# Il voto massimo dell'attività, su cui tarngrade riporta il suo.
[ -n "${VPL_GRADEMAX+x}" ] && export VPL_GRADEMAX

valutazione=.valutazione-tarngrade
if [ -z "${VPL_SUBFILE0:-}" ]; then
    printf '<|--\n-Nessun file consegnato\n--|>\nGrade :=>> 0\n' > "$valutazione"
else
    chmod +x ./tarngrade
    ./tarngrade --vpl esercizio.toml -- "$VPL_SUBFILE0" > "$valutazione" 2>&1
fi
printf '#!/bin/sh\ncat %s\n' "$valutazione" > vpl_execution
chmod +x vpl_execution
