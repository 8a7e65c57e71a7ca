; asterischi.asm - stampa tre asterischi: il sorgente di asterischi.bin.
;
; Mostra ORG, che sposta l'indirizzo dei byte seguenti (i byte saltati valgono
; 0), e un ciclo che conta all'indietro con DEC finché il flag Z si accende.

        VAL conta, 3            ; tre giri
ciclo:  WRT stella
        CLZ
        DEC conta               ; arrivata a 0 accende Z
        JPZ fine
        JMP ciclo
fine:   RST

        ORG 30
conta:  DB 0
stella: DB "*", 0
