#!/usr/bin/env bash
# Writes the input of the lettura benchmark to standard output: 130000 words
# of eight letters, eight to a line (about 1.1 MB), the same every time.
awk 'BEGIN {
    srand(3)
    for (i = 0; i < 130000; i++) {
        w = ""
        for (j = 0; j < 8; j++) w = w sprintf("%c", 97 + int(rand() * 26))
        printf "%s%s", w, (i % 8 == 7 ? "\n" : " ")
    }
}'
