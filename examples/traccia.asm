; traccia.asm - accende e spegne la traccia.
;
; Mostra il flag D (Debug): mentre è acceso, prima di ogni istruzione la
; macchina mostra i registri e aspetta un tasto (senza un terminale va avanti
; da sola). STD lo accende, CLD lo spegne, e la CLD stessa viene ancora
; mostrata. Anche VAL e CPY lo accendono quando il loro operando B vale 0.

        WRT prima
        STD                     ; da qui ogni istruzione viene mostrata
        VAL conta, 2
        DEC conta
        CLD                     ; l'ultima istruzione mostrata
        WRT dopo
        VAL conta, 0            ; B = 0: la traccia si riaccende...
        CLD                     ; ...per un'istruzione sola
        WRT fine
        RST

prima:  DB "Prima della traccia.\n", 0
dopo:   DB "Dopo la traccia.\n", 0
fine:   DB "Fine.\n", 0
conta:  DB 0
