; somma-giusta.asm - legge due cifre e stampa la loro somma, poi va a capo.
;
; Le cifre lette con INP sono caratteri: per averne il valore si toglie il
; codice di '0'. La somma va da 0 a 18: DIV per 10 separa le decine (che
; restano nella cella della somma) dalle unità (che finiscono nella cella del
; divisore). Le decine si stampano solo se ci sono.
; Esempio: con "9 9" stampa "18".

        INP prima               ; la prima cifra, come carattere
        INP seconda             ; la seconda
        SUB prima, car0         ; il valore della prima cifra
        SUB seconda, car0       ; e quello della seconda
        ADD prima, seconda      ; prima = somma, da 0 a 18
        DIV prima, unita        ; prima = decine, unita = unità (prima valeva 10)
        ADD unita, car0         ; le unità tornano un carattere
        CLZ                     ; i flag restano accesi: si spegne Z prima di CMP
        CMP prima, zero         ; nessuna decina?
        JPZ corta
        ADD prima, car0         ; la cifra delle decine...
        WRT prima               ; ...stampata da sola: dopo di lei c'è uno 0
corta:  WRT unita               ; le unità e l'a capo
        RST

prima:   DB 0, 0                ; una cifra e lo 0 che chiude la stringa
seconda: DB 0, 0
unita:   DB 10, "\n", 0         ; il divisore, poi l'a capo da stampare dopo le unità
car0:    DB '0'
zero:    DB 0
