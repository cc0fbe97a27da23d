; The stack: a recursive subroutine that keeps its argument with PHA/PLA across JSR,
; a word reversed by pushing and pulling it, flags kept with PHP/PLP, the stack pointer
; checked with TSX, and a jump made by pushing an address and returning to it (RTS).
;   sum(20) = 20 + 19 + ... + 1 = 210, plus 1 from the RTS jump = 211
;   "STACK" reversed is "KCATS"; fold acc := acc * 2 + character, from 211:
;   211*2+75-256 = 241, 241*2+67-512 = 37, 37*2+65 = 139, 139*2+84-256 = 106,
;   106*2+83-256 = 39
; A wrong stack pointer answers 1, a lost carry 2.
; expect: 39

.SECTION "zp",$80
tmp:    .DS 1
res:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #20
        JSR sum
        STA res
        TSX
        CPX #$FF
        BNE bad1

        LDA #<[back-1]  ; high byte of the return address
        PHA
        LDA #>[back-1]  ; low byte
        PHA
        RTS
        BRK             ; never reached
back:   INC res

        LDX #0
push:   LDA word,X
        PHA
        INX
        CPX #5
        BNE push
        LDX #0
pull:   PLA
        STA buf,X
        INX
        CPX #5
        BNE pull

        SEC
        PHP
        CLC
        PLP
        BCC bad2

        TSX
        CPX #$FF
        BNE bad1

        LDA res
        LDX #0
fold:   ASL A
        CLC
        ADC buf,X
        INX
        CPX #5
        BNE fold
        JMP $FFF9

bad1:   LDA #1
        JMP $FFF9
bad2:   LDA #2
        JMP $FFF9

; A := A + (A - 1) + ... + 1, recursively.
sum:    CMP #0
        BEQ sdone
        PHA
        SEC
        SBC #1
        JSR sum
        STA tmp
        PLA
        CLC
        ADC tmp
sdone:  RTS

word:   .DB "STACK"
buf:    .DS 5
