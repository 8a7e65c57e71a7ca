; parole.asm - conta le parole scritte in ingresso (al massimo 9): con
; "uno due tre" dovrebbe stampare "3 parole".
;
; ATTENZIONE: questo programma ha un errore, lasciato apposta. Non stampa
; nulla. sessione-tarndbg.md racconta come trovarlo con tarndbg.

; Prima di ogni INP il primo carattere della parola torna a 0: se l'ingresso
; è finito INP non scrive nulla, e lo 0 resta.
ciclo:  MUL parola, zero
        INP parola
        CLZ
        CMP parola, zero
        JPZ fine
        INC conta               ; una parola in più: '0' -> '1' -> ...
        JMP ciclo

fine:   WRT conta               ; la cifra e poi " parole"
        RST

zero:   DB 0
; La parola letta: INP ne copia qui i caratteri.
parola:
conta:  DB '0', " parole\n", 0
