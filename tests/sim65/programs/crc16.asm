; CRC-16/XMODEM (polynomial $1021, initial value 0, no reflection) over the nine
; characters "123456789", bit by bit on a 16-bit register in zero page. The published
; check value for that text is $31C3; the program answers with its two bytes combined,
; $31 EOR $C3 = $F2.
; expect: 242

.SECTION "zp",$80
crclo:  .DS 1
crchi:  .DS 1

.SECTION "code",$0400
start:  LDA #0
        STA crclo
        STA crchi
        LDX #0
nextbyte: LDA text,X
        EOR crchi
        STA crchi
        LDY #8
nextbit: ASL crclo
        ROL crchi
        BCC nopoly      ; the bit shifted out of bit 15
        LDA crchi
        EOR #<$1021
        STA crchi
        LDA crclo
        EOR #>$1021
        STA crclo
nopoly: DEY
        BNE nextbit
        INX
        CPX #textend-text
        BNE nextbyte
        LDA crclo
        EOR crchi
        JMP $FFF9

text:   .DB "123456789"
textend:
