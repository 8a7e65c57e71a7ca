; tabella-sbagliata.asm - una soluzione SBAGLIATA dell'esercizio tabella.
;
; Il conto è giusto, ma per azzerare la somma all'inizio usa MUL (la
; moltiplica per 0), e l'esercizio la proibisce: ogni caso fallisce. Qui
; azzerare non serve nemmeno: la cella 0xF0 vale già 0 quando il programma
; parte.

        MUL 0xF0, zero          ; M[0xF0] = 0: MUL è proibita!
ciclo:  CLZ
guarda: CMP zero, 0xC8
        JPZ fine
somma:  ADD 0xF0, 0xC8
        INC guarda+2
        INC somma+2
        JMP ciclo
fine:   RST

zero:   DB 0
