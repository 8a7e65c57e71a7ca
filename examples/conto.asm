; conto.asm - conto alla rovescia da 9 a 0, poi la partenza.
;
; Mostra un ciclo: DEC sottrae 1 da una cella, CMP la confronta con un'altra
; e il salto condizionato JPZ esce dal ciclo quando sono uguali. La cifra
; stampata è un carattere: '9' è il byte 57, e togliendo 1 si ottiene '8'.

ciclo:  WRT cifra               ; stampa la cifra e uno spazio
        CLZ
        CMP cifra, carzero      ; era lo '0'?
        JPZ via
        DEC cifra               ; '9' -> '8' -> ... -> '0'
        JMP ciclo

via:    WRT partenza
        RST

cifra:    DB '9', " ", 0
carzero:  DB '0'
partenza: DB "Via!\n", 0
