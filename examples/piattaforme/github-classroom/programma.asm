; Somma di due cifre: leggi due cifre separate da uno spazio e stampa la loro
; somma in decimale, seguita da un a capo ("3 4" -> "7").
;
; Scrivi qui il tuo programma. A ogni push, GitHub lo valuta: il risultato è
; nella scheda Actions, al passo "Autograding Reporter".

        RST
