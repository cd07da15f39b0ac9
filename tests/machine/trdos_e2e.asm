; Drives the Beta disk controller through its ports the way TR-DOS does:
; formats all 80 cylinders of both sides of drive A with Write Track, writes
; two sectors and reads them (and one untouched sector) back.
;
; Runs from the TR-DOS ROM slot, entered by the TR-DOS reset, with
; interrupts off; every instruction stays below #4000 so the disk ports stay
; open. Stack and data are in RAM page 2:
;   #8000  the Write Track stream, built here; IDs patched per track
;   #A000  data for cylinder 0 side 0 sector 9 (the system sector)
;   #A100  data for cylinder 42 side 1 sector 3
;   #A200  read back: cylinder 42 side 1 sector 3
;   #A300  read back: cylinder 0 side 0 sector 9
;   #A400  read back: cylinder 79 side 1 sector 16 (formatted only)
;   #BF00  OR of the status bytes of every type II/III command (0: no error)
;   #BF01  number of tracks formatted
; It stops with HALT.

STREAM  EQU #8000
SECLEN  EQU 366                 ; stream bytes per sector, below
IDPOS   EQU STREAM+80+16        ; C byte of the first sector's ID
ERRORS  EQU #BF00
TRACKS  EQU #BF01
SIDE0   EQU #3C                 ; latch: drive A, side 0, no reset
SIDE1   EQU #2C                 ; latch: drive A, side 1, no reset

        ORG 0
        DI
        LD SP,#BFF0
        XOR A
        LD (ERRORS),A
        LD (TRACKS),A
        CALL build

        ; Reset the controller, then restore to cylinder 0.
        XOR A
        OUT (#FF),A
        LD A,SIDE0
        OUT (#FF),A
        LD A,#08                ; restore, head load, fastest rate
        OUT (#1F),A
        CALL waitirq

        LD C,0                  ; cylinder
cyl:    LD A,C
        CALL seek
        LD B,0                  ; side
side:   CALL patch
        LD A,B
        OR A
        LD A,SIDE0
        JR Z,side0
        LD A,SIDE1
side0:  OUT (#FF),A
        LD A,#F0                ; Write Track
        OUT (#1F),A
        LD HL,STREAM
wtrk:   IN A,(#FF)
        AND #C0
        JR Z,wtrk
        JP M,wtdone             ; INTRQ: the track is written
        LD A,(HL)
        INC HL
        OUT (#7F),A
        JR wtrk
wtdone: CALL status
        LD HL,TRACKS
        INC (HL)
        INC B
        LD A,B
        CP 2
        JR C,side
        INC C
        LD A,C
        CP 80
        JR C,cyl

        ; Two sectors written, three read.
        LD A,0
        LD B,SIDE0
        LD D,9
        LD HL,#A000
        CALL wsect
        LD A,42
        LD B,SIDE1
        LD D,3
        LD HL,#A100
        CALL wsect
        LD A,42
        LD B,SIDE1
        LD D,3
        LD HL,#A200
        CALL rsect
        LD A,0
        LD B,SIDE0
        LD D,9
        LD HL,#A300
        CALL rsect
        LD A,79
        LD B,SIDE1
        LD D,16
        LD HL,#A400
        CALL rsect
        HALT

; Seek to cylinder A.
seek:   OUT (#7F),A
        LD A,#18                ; seek, head load
        OUT (#1F),A
; Waits for INTRQ.
waitirq:
        IN A,(#FF)
        AND #80
        JR Z,waitirq
        RET

; ORs the status register into ERRORS.
status: IN A,(#1F)
        PUSH HL
        LD HL,ERRORS
        OR (HL)
        LD (HL),A
        POP HL
        RET

; Selects cylinder A, latch B and sector D.
select: CALL seek
        LD A,B
        OUT (#FF),A
        LD A,D
        OUT (#5F),A
        RET

; Writes 256 bytes from HL to cylinder A, latch B, sector D.
wsect:  CALL select
        LD A,#A0                ; Write Sector
        OUT (#1F),A
wsloop: IN A,(#FF)
        AND #C0
        JR Z,wsloop
        JP M,status
        LD A,(HL)
        INC HL
        OUT (#7F),A
        JR wsloop

; Reads cylinder A, latch B, sector D to HL.
rsect:  CALL select
        LD A,#80                ; Read Sector
        OUT (#1F),A
rsloop: IN A,(#FF)
        AND #C0
        JR Z,rsloop
        JP M,status
        IN A,(#7F)
        LD (HL),A
        INC HL
        JR rsloop

; Puts cylinder C and side B into the 16 IDs of the stream.
patch:  PUSH BC
        LD IX,IDPOS
        LD DE,SECLEN
        LD A,16
ploop:  LD (IX+0),C
        LD (IX+1),B
        ADD IX,DE
        DEC A
        JR NZ,ploop
        POP BC
        RET

; Builds the Write Track stream: gap, then 16 sectors of 256 bytes in the
; TR-DOS interleave, each ID and data field with sync bytes (#F5), an
; address mark and a CRC (#F7), then gap bytes past the track's end.
build:  LD DE,STREAM
        LD A,#4E
        LD B,80
        CALL fill
        LD HL,order
        LD C,16
bsect:  XOR A
        LD B,12
        CALL fill
        LD A,#F5
        LD B,3
        CALL fill
        LD A,#FE
        CALL put
        XOR A
        CALL put                ; C, patched per track
        CALL put                ; H, patched per track
        LD A,(HL)
        INC HL
        CALL put                ; R
        LD A,1
        CALL put                ; N: 256 bytes
        LD A,#F7
        CALL put
        LD A,#4E
        LD B,22
        CALL fill
        XOR A
        LD B,12
        CALL fill
        LD A,#F5
        LD B,3
        CALL fill
        LD A,#FB
        CALL put
        XOR A
        LD B,0                  ; 256 data bytes
        CALL fill
        LD A,#F7
        CALL put
        LD A,#4E
        LD B,50
        CALL fill
        DEC C
        JR NZ,bsect
        LD A,#4E
        LD B,0
        CALL fill
        LD B,0
; Stores A B times (256 times for 0) at DE.
fill:   LD (DE),A
        INC DE
        DJNZ fill
        RET
put:    LD (DE),A
        INC DE
        RET

order:  DEFB 1,9,2,10,3,11,4,12,5,13,6,14,7,15,8,16
