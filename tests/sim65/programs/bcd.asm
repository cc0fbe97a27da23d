; Decimal (BCD) arithmetic with SED and CLD.
;   1234 + 5678 = 6912 on two BCD bytes: sumhi $69, sumlo $12
;   9999 + 0001 = 0000 and a carry out: w1hi $00, w1lo $00, carry 1
;   $00 plus 1, fifty-eight times, counts to $58
;   $45 - $12 with the carry set (no borrow anywhere) = $33
;   after CLD, $09 + $01 = $0A again
; Folded in binary mode: $69 EOR $12 = $7B; + $00 + $00 + 1 = $7C; + $58 = $D4;
; EOR $33 = $E7; + $0A = $F1 = 241.
; expect: 241

.SECTION "zp",$80
sumlo:  .DS 1
sumhi:  .DS 1
w1lo:   .DS 1
w1hi:   .DS 1
carry:  .DS 1
counter: .DS 1
diff:   .DS 1
bin:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        SED
        CLC
        LDA #$34
        ADC #$78
        STA sumlo
        LDA #$12
        ADC #$56
        STA sumhi

        CLC
        LDA #$99
        ADC #$01
        STA w1lo
        LDA #$99
        ADC #$00
        STA w1hi
        LDA #0
        ROL A
        STA carry

        LDA #0
        LDX #58
count:  CLC
        ADC #1
        DEX
        BNE count
        STA counter

        SEC
        LDA #$45
        SBC #$12
        STA diff

        CLD
        CLC
        LDA #$09
        ADC #$01
        STA bin

        LDA sumhi
        EOR sumlo
        CLC
        ADC w1lo
        ADC w1hi
        ADC carry
        ADC counter
        EOR diff
        CLC
        ADC bin
        JMP $FFF9
