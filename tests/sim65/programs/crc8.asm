; CRC-8 (polynomial $07, initial value 0, no reflection, no final EOR) over the nine
; characters "123456789", bit by bit. The published check value of this CRC for that
; text is $F4.
; expect: 244

.SECTION "zp",$80
crc:    .DS 1

.SECTION "code",$0400
start:  LDA #0
        STA crc
        LDX #0
nextbyte: LDA crc
        EOR text,X
        LDY #8
nextbit: ASL A
        BCC nopoly
        EOR #$07
nopoly: DEY
        BNE nextbit
        STA crc
        INX
        CPX #textend-text
        BNE nextbyte
        LDA crc
        JMP $FFF9

text:   .DB "123456789"
textend:
