; contatore.asm - il ciclo contato: quattro cicli annidati di CLZ, DEC, JPZ e
; JMP. Ogni livello conta da 67 a 0, per circa 82 milioni di istruzioni.

        VAL c1, 67
liv2:   VAL c2, 67
liv3:   VAL c3, 67
liv4:   VAL c4, 67
ciclo4: CLZ                     ; Z resta acceso: va spento prima di ogni DEC
        DEC c4
        JPZ fine4
        JMP ciclo4
fine4:  CLZ
        DEC c3
        JPZ fine3
        JMP liv4
fine3:  CLZ
        DEC c2
        JPZ fine2
        JMP liv3
fine2:  CLZ
        DEC c1
        JPZ fine1
        JMP liv2
fine1:  RST

c1:     DB 0
c2:     DB 0
c3:     DB 0
c4:     DB 0
