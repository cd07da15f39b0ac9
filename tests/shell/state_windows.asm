; Keeps every state window busy: in a loop, pages RAM through #7FFD, writes
; the sound chip's registers 4 and 5 and selects register 7, then restores
; the disk controller's head and reads sector 1 of track 0 byte by byte.
;
; Runs from the TR-DOS ROM slot with interrupts off, so the disk ports stay
; open; the stack is in RAM page 2, which no latch value moves.

        ORG 0
        DI
        LD SP,#BFF0
        XOR A
        OUT (#FF),A             ; reset the controller
        LD A,#3C                ; drive A, side 0, no reset
        OUT (#FF),A
        LD E,0
loop:   INC E
        LD A,E
        AND #0F                 ; #C000 page and screen; never the lock bit
        LD BC,#7FFD
        OUT (C),A
        LD BC,#FFFD
        LD A,4
        OUT (C),A
        LD B,#BF
        OUT (C),E
        LD B,#FF
        LD A,5
        OUT (C),A
        LD B,#BF
        LD A,#12
        OUT (C),A
        LD B,#FF
        LD A,7
        OUT (C),A

        LD A,#08                ; restore, head load, fastest rate
        OUT (#1F),A
restore:
        IN A,(#FF)
        AND #80
        JR Z,restore
        LD A,1
        OUT (#5F),A
        LD A,#80                ; read sector
        OUT (#1F),A
read:   IN A,(#FF)
        AND #C0
        JR Z,read
        JP M,done               ; INTRQ: the sector is read
        IN A,(#7F)
        JR read
done:   IN A,(#1F)
        JR loop
