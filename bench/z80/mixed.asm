; The benchmark's instruction mix: block moves, memory arithmetic, stack and
; calls, bit operations, index registers, ports and jumps, looping forever.
        org 0
        di
        ld sp, 0F000h
        im 1
loop:   ld hl, src
        ld de, 8000h
        ld bc, 16
        ldir
        ld b, 20
inner:  ld a, (hl)
        add a, b
        ld (de), a
        inc hl
        inc de
        xor c
        rla
        push bc
        call routine
        pop bc
        djnz inner
        ld ix, tab
        ld a, (ix+3)
        inc (ix+5)
        set 3, (ix+2)
        bit 7, a
        jr z, skip
        neg
skip:   ld iy, tab+8
        rlc (iy+1)
        add hl, de
        sbc hl, bc
        ex de, hl
        exx
        ld b, 4
ports:  out (0FEh), a
        in a, (0FEh)
        djnz ports
        exx
        cp 40h
        jp nc, loop
        srl a
        daa
        jp loop
routine: ld a, (bc)
        and 0Fh
        or d
        rrca
        cpl
        ret
src:    ds 32, 55h
tab:    ds 16, 11h
