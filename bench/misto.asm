; misto.asm - il ciclo misto: ADD, SUB, MUL, CMP, CPY, DIV e INC indicizzati
; su una tabella di 128 byte. L'indice viene da un VALOFFST il cui operando il
; programma stesso incrementa con INC (codice che modifica se stesso). Tre
; cicli annidati (100 x 120 x 129 giri), circa 23 milioni di istruzioni.

esterno: VAL c2, 120
medio:  VAL c1, 100
giro:   VAL divisore, 3         ; DIV lascia il resto qui: lo si rimette a 3
indice: VALOFFST 0              ; l'operando di questa istruzione è l'indice
        ADD tabella, uno
        SUB tabella, cinque
        MUL tabella, due
        CMP tabella, soglia
        CPY tabella, scambio
        DIV tabella, divisore
        INC tabella
        VALOFFST 0
        INC indice + 1          ; l'indice successivo; dopo 127 torna a 0
        CLZ
        DEC c1
        JPZ fine1
        JMP giro
fine1:  CLZ
        DEC c2
        JPZ fine2
        JMP medio
fine2:  CLZ
        DEC c3
        JPZ fine3
        JMP esterno
fine3:  RST

c1:     DB 0
c2:     DB 0
c3:     DB 0                    ; da 0, DEC torna a 0 dopo 129 giri
uno:    DB 1
due:    DB 2
cinque: DB 5
soglia: DB 40
divisore: DB 3
scambio: DB 9

        ORG 128
tabella: DB 17, 200, 3, 99, 250, 1, 64, 128, 7, 33, 180, 45, 90, 12, 240, 5
        DB 61, 2, 222, 48, 170, 19, 77, 130, 8, 150, 39, 66, 201, 14, 100, 255
        DB 27, 190, 4, 88, 160, 23, 55, 140, 11, 230, 31, 72, 210, 6, 120, 199
        DB 43, 3, 177, 95, 245, 16, 84, 133, 9, 166, 37, 58, 215, 21, 110, 250
        DB 29, 205, 1, 81, 155, 13, 69, 145, 10, 225, 35, 76, 195, 18, 105, 244
        DB 47, 7, 185, 91, 235, 24, 63, 138, 15, 172, 41, 54, 220, 26, 115, 251
        DB 33, 211, 2, 86, 165, 20, 74, 149, 12, 228, 38, 79, 206, 22, 118, 243
        DB 51, 5, 181, 97, 238, 28, 67, 136, 17, 169, 44, 57, 217, 30, 112, 249
