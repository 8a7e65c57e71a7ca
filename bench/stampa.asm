; stampa.asm - l'uscita: stampa una riga breve con WRT 33282 volte
; (129 x 129 giri, due righe a giro); da mandare su un file.

esterno: SUB c2, c2             ; c2 = 0 (VAL c2, 0 accenderebbe la traccia)
giro:   WRT riga
        WRT riga
        CLZ
        DEC c2                  ; da 0, DEC torna a 0 dopo 129 giri
        JPZ fine2
        JMP giro
fine2:  CLZ
        DEC c1
        JPZ fine1
        JMP esterno
fine1:  RST

c1:     DB 0
c2:     DB 0
riga:   DB "ciao, mondo\n", 0
