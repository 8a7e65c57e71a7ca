; saluto.asm - il primo programma: stampa un saluto e spegne la macchina.
;
; Mostra WRT, che stampa i byte a partire dal suo indirizzo fino al primo 0
; (senza andare a capo da solo), e RST, il byte 0, che ferma la macchina.
; Programma e dati stanno nella stessa memoria: il messaggio segue il codice.

        WRT messaggio           ; stampa la stringa che comincia a 'messaggio'
        RST                     ; fine

messaggio:
        DB "Ciao, mondo! Sono un programma per tarnsim.\n", 0
