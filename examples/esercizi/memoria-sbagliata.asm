; memoria-sbagliata.asm - una soluzione SBAGLIATA dell'esercizio memoria.
;
; Stampa il doppio giusto, ma per stamparlo trasforma in caratteri proprio la
; cella 0xF0: alla fine lì restano le decine come carattere ('1' per 14) o,
; senza decine, 0: mai il numero. L'uscita è giusta, la memoria no:
; serviva una copia.

        INP cifra
        SUB cifra, car0
        ADD 0xF0, cifra
        ADD 0xF0, cifra         ; fin qui M[0xF0] è giusta

        DIV 0xF0, unita         ; ma qui M[0xF0] diventa le decine...
        ADD unita, car0
        CLZ
        CMP 0xF0, zero
        JPZ corta
        ADD 0xF0, car0          ; ...e qui un carattere
        WRT 0xF0                ; dopo 0xF0 la memoria vale 0: la stringa è chiusa
corta:  WRT unita
        RST

cifra:  DB 0, 0
unita:  DB 10, "\n", 0
car0:   DB '0'
zero:   DB 0
