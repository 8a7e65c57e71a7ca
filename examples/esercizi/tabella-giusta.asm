; tabella-giusta.asm - somma i byte di una tabella e lascia la somma in 0xF0.
;
; L'esercizio mette la tabella in memoria dall'indirizzo 0xC8 (200) prima di
; far partire il programma: numeri da 1 a 127, chiusi da uno 0. La somma va
; nella cella 0xF0 (240), che all'inizio vale 0. MUL è proibita, e qui non
; serve.
;
; Il programma scorre la tabella cambiando se stesso: il secondo operando
; delle istruzioni 'guarda' e 'somma' è l'indirizzo dell'elemento, e a ogni
; giro INC lo fa passare all'elemento dopo. Programma e dati stanno nella
; stessa memoria: anche le istruzioni sono byte che si possono cambiare.

ciclo:  CLZ                     ; i flag restano accesi: si spegne Z prima di CMP
guarda: CMP zero, 0xC8          ; l'elemento è 0? Allora la tabella è finita
        JPZ fine
somma:  ADD 0xF0, 0xC8          ; M[0xF0] = M[0xF0] + elemento
        INC guarda+2            ; il secondo operando di CMP: l'elemento dopo
        INC somma+2             ; e lo stesso per ADD
        JMP ciclo
fine:   RST

zero:   DB 0
