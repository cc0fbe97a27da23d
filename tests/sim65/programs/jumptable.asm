; A small byte-code interpreter that dispatches through a table of routine addresses
; (.DW) with JMP (vector).
; Byte code, pairs of (operation, operand):
;   add 100, add 57, sub 30, shift left 1, eor $5A, sub 200, end
; value: 0 -> 100 -> 157 -> 127 -> 254 -> $FE EOR $5A = $A4 = 164 -> 164 - 200 = -36,
; as a byte 220.
; expect: 220

.SECTION "zp",$80
value:  .DS 1
pc:     .DS 1
vec:    .DS 2
tmp:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #0
        STA value
        STA pc
next:   LDX pc
        LDA code,X      ; operation number
        ASL A
        TAY
        LDA ops,Y
        STA vec
        LDA ops+1,Y
        STA vec+1
        LDA code+1,X    ; operand
        INX
        INX
        STX pc
        JMP (vec)

op_add: CLC
        ADC value
        STA value
        JMP next
op_sub: STA tmp
        LDA value
        SEC
        SBC tmp
        STA value
        JMP next
op_shl: TAY
        LDA value
shl:    ASL A
        DEY
        BNE shl
        STA value
        JMP next
op_eor: EOR value
        STA value
        JMP next
op_end: LDA value
        JMP $FFF9

ops:    .DW op_add, op_sub, op_shl, op_eor, op_end
code:   .DB 0, 100, 0, 57, 1, 30, 2, 1, 3, $5A, 1, 200, 4, 0
