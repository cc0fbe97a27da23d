; Every branch, taken and not taken: X counts the checks that go the right way, Y holds
; the number of the check being made, and a check that goes the wrong way answers
; 128 + its number.
;   16 checks of the eight branches, taken and not taken           16
;   a backward BNE loop of three rounds                             3
;   a backward BPL loop of three rounds (Y = 2, 1, 0)              3
;   a taken branch of displacement +127 and one of -128             2
; expect: 24

.SECTION "zp",$80
cnt:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDX #0

; BCC taken
        LDY #1
        CLC
        BCC t1
        JMP fail
t1:     INX
; BCC not taken
        LDY #2
        SEC
        BCC f2
        INX
        JMP c2
f2:     JMP fail
c2:
; BCS taken
        LDY #3
        SEC
        BCS t3
        JMP fail
t3:     INX
; BCS not taken
        LDY #4
        CLC
        BCS f4
        INX
        JMP c4
f4:     JMP fail
c4:
; BEQ taken
        LDY #5
        LDA #0
        BEQ t5
        JMP fail
t5:     INX
; BEQ not taken
        LDY #6
        LDA #1
        BEQ f6
        INX
        JMP c6
f6:     JMP fail
c6:
; BNE taken
        LDY #7
        LDA #1
        BNE t7
        JMP fail
t7:     INX
; BNE not taken
        LDY #8
        LDA #0
        BNE f8
        INX
        JMP c8
f8:     JMP fail
c8:
; BMI taken
        LDY #9
        LDA #$80
        BMI t9
        JMP fail
t9:     INX
; BMI not taken
        LDY #10
        LDA #$7F
        BMI f10
        INX
        JMP c10
f10:     JMP fail
c10:
; BPL taken
        LDY #11
        LDA #$7F
        BPL t11
        JMP fail
t11:     INX
; BPL not taken
        LDY #12
        LDA #$80
        BPL f12
        INX
        JMP c12
f12:     JMP fail
c12:
; BVC taken
        LDY #13
        CLV
        BVC t13
        JMP fail
t13:     INX
; BVC not taken
        LDY #14
        BIT vbits
        BVC f14
        INX
        JMP c14
f14:     JMP fail
c14:
; BVS taken
        LDY #15
        CLC
        LDA #$7F
        ADC #1
        BVS t15
        JMP fail
t15:     INX
; BVS not taken
        LDY #16
        CLV
        BVS f16
        INX
        JMP c16
f16:     JMP fail
c16:
; BNE backward, three rounds
        LDY #17
        LDA #3
        STA cnt
bloop:  INX
        DEC cnt
        BNE bloop
; BPL backward, three rounds
        LDY #2
ploop:  INX
        DEY
        BPL ploop
; +127: the branch skips 127 bytes
        LDY #19
        CLC
        BCC far
        .DS 127
far:    INX
; -128: a branch 128 bytes back from the instruction after it
        LDY #20
        SEC
        JMP dobr
bt:     INX
        JMP done
        .DS 122
dobr:   BCS bt
        JMP fail
done:   TXA
        JMP $FFF9

fail:   TYA
        ORA #$80
        JMP $FFF9

vbits:  .DB $C0         ; BIT copies bit 7 to N and bit 6 to V
