; somma.asm - legge due cifre e stampa la loro somma.
;
; Mostra l'aritmetica della macchina: le cifre lette sono caratteri, per
; averne il valore si sottrae il codice di '0'; DIV divide per 10 e lascia il
; quoziente (le decine) in A+X e il resto (le unità) nella cella B.
; Esempio: con "7 8" stampa "7 + 8 = 15".

        INP testo               ; la prima cifra prende il posto del primo '?'
        INP testo+4             ; la seconda quello del secondo '?'
        ADD somma, testo        ; somma = carattere della prima cifra
        SUB somma, car0         ; ...meno '0': il suo valore
        ADD seconda, testo+4
        SUB seconda, car0
        ADD somma, seconda      ; somma = 0..18
        DIV somma, resto        ; somma = decine, resto = unità (era 10)
        ADD somma, car0         ; di nuovo caratteri
        ADD resto, car0

        WRT testo               ; "7 + 8 = "
        CLZ
        CMP somma, car0         ; nessuna decina: non si stampa lo '0'
        JPZ unita
        WRT somma
unita:  WRT resto               ; le unità e l'a capo
        RST

testo:   DB "? + ? = ", 0
somma:   DB 0, 0                ; un carattere e il suo 0 finale
seconda: DB 0
resto:   DB 10, "\n", 0         ; il divisore, poi l'a capo da stampare dopo le unità
car0:    DB '0'
