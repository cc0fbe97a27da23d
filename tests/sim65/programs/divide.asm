; 16 / 8 bit division with remainder, by shift and subtract.
; Five divisions are folded into one byte: acc := (acc * 2) EOR quotient low,
; then + quotient high, then EOR remainder.
;   50000 / 123 = 406 ($0196) remainder 62 ($3E)
;   65535 / 255 = 257 ($0101) remainder 0
;   60001 / 250 = 240 ($00F0) remainder 1
;   12345 / 100 = 123 ($007B) remainder 45 ($2D)
;       7 /  9  =   0         remainder 7
; acc: $00 -> (($00 EOR $96) + $01) EOR $3E = $A9
;      -> (($52 EOR $01) + $01) EOR $00 = $54
;      -> (($A8 EOR $F0) + $00) EOR $01 = $59
;      -> (($B2 EOR $7B) + $00) EOR $2D = $E4
;      -> (($C8 EOR $00) + $00) EOR $07 = $CF = 207
; expect: 207

.SECTION "zp",$80
dvdlo:  .DS 1           ; dividend, becomes the quotient
dvdhi:  .DS 1
divisor: .DS 1
rem:    .DS 1
acc:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #0
        STA acc
        LDX #0
next:   LDA cases,X
        STA dvdlo
        LDA cases+1,X
        STA dvdhi
        LDA cases+2,X
        STA divisor
        TXA
        PHA
        JSR div16
        PLA
        TAX
        LDA acc
        ASL A
        EOR dvdlo
        CLC
        ADC dvdhi
        EOR rem
        STA acc
        INX
        INX
        INX
        CPX #casesend-cases
        BNE next
        LDA acc
        JMP $FFF9

; dvdhi:dvdlo := dvdhi:dvdlo / divisor, rem := the remainder.
div16:  LDA #0
        LDX #16
dloop:  ASL dvdlo
        ROL dvdhi
        ROL A
        BCS dsub        ; nine-bit remainder: larger than any divisor
        CMP divisor
        BCC dnext
dsub:   SBC divisor     ; the carry is set on both roads here
        INC dvdlo
dnext:  DEX
        BNE dloop
        STA rem
        RTS

; dividend (low byte first), divisor
cases:  .DB >50000, <50000, 123
        .DB >65535, <65535, 255
        .DB >60001, <60001, 250
        .DB >12345, <12345, 100
        .DB 7, 0, 9
casesend:
