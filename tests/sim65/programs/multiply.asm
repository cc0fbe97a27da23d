; 8 x 8 -> 16 bit multiplication by shift and add.
; Six products are folded into one byte: acc := (acc * 2) EOR low, then + high.
;   173 * 229 = $9AC1   255 * 255 = $FE01   16 * 16 = $0100
;     0 * 200 = $0000     1 *   1 = $0001    7 *  9 = $003F
; acc: $00 -> ($00 EOR $C1) + $9A = $5B -> ($B6 EOR $01) + $FE = $B5
;      -> ($6A EOR $00) + $01 = $6B -> ($D6 EOR $00) + $00 = $D6
;      -> ($AC EOR $01) + $00 = $AD -> ($5A EOR $3F) + $00 = $65 = 101
; expect: 101

.SECTION "zp",$80
mcand:  .DS 1           ; multiplicand
mplier: .DS 1           ; multiplier, shifted out bit by bit
prodlo: .DS 1           ; product, low byte
prodhi: .DS 1           ; product, high byte
acc:    .DS 1           ; folded result

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #0
        STA acc
        LDA #173
        LDY #229
        JSR mulfold
        LDA #255
        LDY #255
        JSR mulfold
        LDA #16
        LDY #16
        JSR mulfold
        LDA #0
        LDY #200
        JSR mulfold
        LDA #1
        LDY #1
        JSR mulfold
        LDA #7
        LDY #9
        JSR mulfold
        LDA acc
        JMP $FFF9

; A * Y, folded into acc.
mulfold: STA mcand
        STY mplier
        JSR mul8
        LDA acc
        ASL A
        EOR prodlo
        CLC
        ADC prodhi
        STA acc
        RTS

; prodhi:prodlo := mcand * mplier. The high byte builds up in A; each step shifts
; the next multiplier bit out and the product one place right.
mul8:   LDA #0
        LDX #8
mloop:  LSR mplier
        BCC mskip
        CLC
        ADC mcand
mskip:  ROR A
        ROR prodlo
        DEX
        BNE mloop
        STA prodhi
        RTS
