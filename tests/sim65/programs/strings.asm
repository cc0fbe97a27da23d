; String handling through pointers in zero page with (pointer),Y.
; The text "Hello, World! Hello, 6502." (26 characters and a zero) is measured, copied
; to $06F0 in upper case (so that the copy crosses a page boundary), and the copy is
; read back: it holds five L, and its characters add up to 1604 = $644, low byte $44 = 68.
; Answer: 5 * 16 + 26 + 68 = 174.
; expect: 174

.SECTION "zp",$80
srcp:   .DS 2
dstp:   .DS 2
slen:   .DS 1
count:  .DS 1
sum:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #>text      ; low byte of the address
        STA srcp
        LDA #<text      ; high byte
        STA srcp+1
        LDA #$F0
        STA dstp
        LDA #$06
        STA dstp+1

        LDY #0
len:    LDA (srcp),Y
        BEQ lendone
        INY
        BNE len
lendone: STY slen

        LDY #0
copy:   LDA (srcp),Y
        BEQ copied
        CMP #'a
        BCC keep
        CMP #'z+1
        BCS keep
        AND #$DF        ; lower case to upper case
keep:   STA (dstp),Y
        INY
        BNE copy
copied: STA (dstp),Y    ; the terminating zero

        LDA #0
        STA count
        STA sum
        LDY #0
scan:   LDA (dstp),Y
        BEQ scanned
        CMP #'L
        BNE notl
        INC count
notl:   CLC
        ADC sum
        STA sum
        INY
        BNE scan
scanned: LDA count
        ASL A
        ASL A
        ASL A
        ASL A
        CLC
        ADC slen
        CLC
        ADC sum
        JMP $FFF9

text:   .DB "Hello, World! Hello, 6502.", 0
