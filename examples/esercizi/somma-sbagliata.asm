; somma-sbagliata.asm - una soluzione SBAGLIATA dell'esercizio somma.
;
; Stampa la somma come una cifra sola: va bene finché la somma è al
; massimo 9, ma da 10 in su stampa un carattere che non è una cifra (con
; "5 5" stampa ':', il carattere che segue '9'). Manca il riporto: le decine
; vanno separate dalle unità, per esempio con DIV per 10.

        INP prima
        INP seconda
        SUB seconda, car0       ; il valore della seconda cifra
        ADD prima, seconda      ; il carattere della prima cifra, più la seconda
        WRT prima               ; prima è seguita dall'a capo
        RST

prima:   DB 0, "\n", 0          ; INP scrive solo la cifra: l'a capo resta
seconda: DB 0, 0
car0:    DB '0'
