; eco.asm - ripete, una per riga, le parole scritte in ingresso.
;
; Mostra INP, che legge una parola e ne copia i caratteri in memoria senza
; uno 0 finale, il registro di spiazzamento X (VALOFFST, INCOFFST) per
; scorrere i caratteri, e i flag "appiccicosi": CMP accende Z, ma solo CLZ
; lo spegne, quindi ogni confronto è preceduto da un CLZ.

ciclo:  INP parola              ; legge la prossima parola
        CLZ
        CMP parola, zero        ; nessuna parola: l'ingresso è finito
        JPZ fine
        WRT parola              ; la ristampa...
        WRT acapo               ; ...e va a capo

        ; Cancella la parola carattere per carattere, perché la prossima
        ; potrebbe essere più corta. MUL per zero azzera M[parola+X].
        VALOFFST 0
cancella:
        MUL parola, zero
        INCOFFST
        CLZ
        CMP parola, zero        ; il carattere dopo è già 0?
        JPZ pulita
        JMP cancella
pulita: VALOFFST 0
        JMP ciclo

fine:   RST

acapo:  DB "\n", 0
zero:   DB 0
parola:                         ; qui finisce l'immagine: la memoria dopo vale 0
