#!/bin/bash
# Moodle, Virtual Programming Lab: the activity's evaluation with tarngrade
# (man tarngrade, section MOODLE VPL).
#
# The activity's execution files: this vpl_evaluate.sh, tarngrade (the
# program for Linux) and esercizio.toml (the exercise). The student hands in
# one file, a source .asm or an image .bin, which VPL names in VPL_SUBFILE0.
#
# tarngrade runs here, while VPL prepares the evaluation; vpl_execution, which
# VPL runs next and whose output it reads for the grade and the comments,
# only shows what tarngrade wrote. So the execution files need not be kept
# for the run, and the student never gets hold of the exercise.
[ -f vpl_environment.sh ] && . ./vpl_environment.sh
# The activity's maximum grade, to which tarngrade scales its own.
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
