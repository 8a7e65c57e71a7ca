#!/bin/sh
# setup.sh dell'autograder di Gradescope: si esegue una volta, quando
# Gradescope prepara l'ambiente, con i file dello zip in /autograder/source.
# Nello zip, accanto a questo file: run_autograder, l'esercizio
# (esercizio.toml) e tarngrade, il programma statico per Linux
# dell'archivio tarnsim-VERSIONE-linux-x86_64.tar.gz, che non ha bisogno di
# nient'altro.
set -eu
install -m 755 /autograder/source/tarngrade /usr/local/bin/tarngrade
tarngrade --version
