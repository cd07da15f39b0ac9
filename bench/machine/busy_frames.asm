; Keeps the processor busy without HALT: writes 1 KB of screen memory per
; pass, changes the border every pass, and spins in a stack loop between.
        ORG #8000
start:  DI
        LD SP,#C000
        LD DE,#4000
outer:  LD A,E
        AND 7
        OUT (#FE),A
        LD H,D
        LD L,E
        LD BC,1024
fill:   LD (HL),E
        INC HL
        DEC BC
        LD A,B
        OR C
        JR NZ,fill
        LD A,D
        ADD A,4
        CP #5B
        JR C,next
        LD A,#40
next:   LD D,A
        INC E
        LD B,50
busy:   PUSH BC
        EX (SP),HL
        EX (SP),HL
        POP BC
        DJNZ busy
        JR outer
        END start
