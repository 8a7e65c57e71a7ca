; memoria-giusta.asm - legge una cifra, stampa il suo doppio e lo lascia,
; come numero, nella cella 0xF0.
;
; Il doppio va da 0 a 18. Nella cella 0xF0 deve restare il numero (per 7,
; il valore 14), non i caratteri che si stampano: per stamparlo se ne fa una
; copia, e la copia si trasforma in caratteri.

        INP cifra               ; la cifra, come carattere
        SUB cifra, car0         ; il suo valore
        ADD 0xF0, cifra         ; M[0xF0] vale 0 all'inizio: ora vale la cifra...
        ADD 0xF0, cifra         ; ...e ora il suo doppio

        ADD copia, 0xF0         ; copia = doppio: da qui in poi si lavora sulla copia
        DIV copia, unita        ; copia = decine, unita = unità (prima valeva 10)
        ADD unita, car0         ; le unità come carattere
        CLZ                     ; i flag restano accesi: si spegne Z prima di CMP
        CMP copia, zero         ; nessuna decina?
        JPZ corta
        ADD copia, car0         ; la cifra delle decine, seguita da uno 0
        WRT copia
corta:  WRT unita               ; le unità e l'a capo
        RST

cifra:  DB 0, 0
copia:  DB 0, 0                 ; un carattere e lo 0 che chiude la stringa
unita:  DB 10, "\n", 0          ; il divisore, poi l'a capo
car0:   DB '0'
zero:   DB 0
