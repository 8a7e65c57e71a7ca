; lettura.asm - l'ingresso: legge parole di otto lettere con INP e le
; ristampa con WRT, una per riga, fino alla fine dell'ingresso.

giro:   SUB parola, parola      ; a fine ingresso INP non scrive nulla:
        INP parola              ; la parola resta vuota
        CLZ
        CMP parola, zero
        JPZ fine
        WRT parola
        JMP giro
fine:   RST

zero:   DB 0
parola: DB "........", "\n", 0
