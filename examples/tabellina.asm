; tabellina.asm - legge una cifra e stampa la sua tabellina, da 1 a 10.
;
; Mostra MUL e DIV, la scrittura di un numero in cifre (decine e unità con
; DIV per 10), VAL che mette un valore immediato in memoria e un ciclo
; contato. Attenzione: VAL con 0 accenderebbe la traccia (flag D), per questo
; una cella si azzera moltiplicandola per zero.

        INP riga                ; la cifra letta prende il posto del '?' iniziale
        ADD n, riga
        SUB n, car0             ; n = valore della cifra

ciclo:  INC i                   ; i = 1, 2, ..., 10

        ; Il fattore i, alle colonne 4 e 5 della riga.
        MUL t, zero
        ADD t, i                ; t = i
        VAL r, 10
        DIV t, r                ; t = decine, r = unità
        VAL riga+4, ' '         ; senza decine uno spazio...
        CLZ
        CMP t, zero
        JPZ unita_i
        VAL riga+4, '0'         ; ...altrimenti la loro cifra
        ADD riga+4, t
unita_i:
        VAL riga+5, '0'
        ADD riga+5, r

        ; Il prodotto n * i, alle colonne 9 e 10.
        MUL t, zero
        ADD t, n
        MUL t, i                ; t = n * i
        VAL r, 10
        DIV t, r
        VAL riga+9, ' '
        CLZ
        CMP t, zero
        JPZ unita_p
        VAL riga+9, '0'
        ADD riga+9, t
unita_p:
        VAL riga+10, '0'
        ADD riga+10, r

        WRT riga
        CLZ
        CMP i, dieci            ; fatte dieci righe?
        JPZ fine
        JMP ciclo
fine:   RST

riga:   DB "? x ?? = ??\n", 0
n:      DB 0
i:      DB 0
t:      DB 0
r:      DB 0
zero:   DB 0
car0:   DB '0'
dieci:  DB 10
