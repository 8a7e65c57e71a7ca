; righe.asm - stampa in un ciclo, come i programmi di una classe: due righe
; brevi con WRT a ogni giro, 40 x 67 giri, 5360 righe (64320 byte, entro il
; limite di uscita più grande di un esercizio). Lo misura tarncasecount, sulla
; console di tarngrade.

        VAL c1, 40
esterno: VAL c2, 67
giro:   WRT riga
        WRT riga
        CLZ
        DEC c2
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
