; Shifts and rotates on the accumulator, zero page, absolute and indexed operands.
;   $B4 = %10110100 with its bits reversed is %00101101 = $2D
;   $B4 has four bits set
;   $1234 shifted right three places (LSR abs,X then ROR abs,X) is $0246
;   $4081 shifted left one place (ASL zp,X then ROL zp,X) is $8102
;   ASL of $C3 (absolute) carries a 1 out, ROL A takes it into an empty A: 1
;   SEC then ROR of $02 (zero page) gives $81
; Fold: $2D + 4*16 = $6D; EOR $46 = $2B; + $02 = $2D; EOR $02 = $2F; + $81 = $B0;
; + 1 = $B1; + $81 = $132, as a byte $32 = 50.
; expect: 50

.SECTION "zp",$80
src:    .DS 1
dst:    .DS 1
pop:    .DS 1
v:      .DS 2
r:      .DS 1
one:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS

        LDA #$B4        ; bit reversal
        STA src
        LDA #0
        STA dst
        LDY #8
rev:    LSR src
        ROL dst
        DEY
        BNE rev

        LDA #$B4        ; population count
        LDX #0
pcl:    ASL A
        BCC pcs
        INX
pcs:    CMP #0
        BNE pcl
        STX pop

        LDY #3          ; word := word >> 3
wsh:    LDX #1
        LSR word,X
        DEX
        ROR word,X
        DEY
        BNE wsh

        LDA #$81        ; v := v << 1
        STA v
        LDA #$40
        STA v+1
        LDX #0
        ASL v,X
        INX
        ROL v,X

        ASL byte        ; the carry out of $C3
        LDA #0
        ROL A
        STA one

        LDA #$02
        STA r
        SEC
        ROR r

        LDA pop         ; fold
        ASL A
        ASL A
        ASL A
        ASL A
        CLC
        ADC dst
        EOR word
        CLC
        ADC word+1
        EOR v
        CLC
        ADC v+1
        CLC
        ADC one
        CLC
        ADC r
        JMP $FFF9

word:   .DB $34, $12
byte:   .DB $C3
