; Indexed and indirect addressing: (zp,X) loads and stores through a table of pointers
; in zero page, zp,X and zp,Y loads and stores (STX zp,Y, STY zp,X, LDX zp,Y, LDY zp,X),
; INC and DEC abs,X, STA abs,Y, LDX abs,Y, and compares.
;   (ptrs,X) with X = 0, 2, 4 reads $11, $22, $44: ($11 + $22) EOR $44 = $77
;   STA (ptrs,X) with X = 4 writes $05 over the $44
;   STX tab,Y puts $0A in tab+1; STY tab,X puts $0B in tab+2
;   cells $10 $20 $30 become $0F (DEC), $22 (INC twice), $0B (STA abs,Y)
; Sum: $77 + $0F + $22 + $0B + $05 + $0A = $C2; EOR $0B = $C9 = 201.
; A compare that fails answers 1 or 2.
; expect: 201

.SECTION "zp",$80
ptrs:   .DS 6
tab:    .DS 4
acc:    .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
        LDA #>d1
        STA ptrs
        LDA #<d1
        STA ptrs+1
        LDA #>d2
        STA ptrs+2
        LDA #<d2
        STA ptrs+3
        LDA #>d3
        STA ptrs+4
        LDA #<d3
        STA ptrs+5

        LDX #0
        LDA (ptrs,X)
        STA acc
        LDX #2
        LDA (ptrs,X)
        CLC
        ADC acc
        STA acc
        LDX #4
        LDA (ptrs,X)
        EOR acc
        STA acc
        LDA #$05
        STA (ptrs,X)

        LDY #1
        LDX #$0A
        STX tab,Y
        LDY #$0B
        LDX #2
        STY tab,X
        LDY #1
        LDX tab,Y
        CPX #$0A
        BNE bad1
        LDX #2
        LDY tab,X
        CPY tab+2
        BNE bad2

        LDX #1
        INC cells,X
        INC cells,X
        DEX
        DEC cells,X
        TYA
        LDY #2
        STA cells,Y
        LDX cells,Y
        CPX #$0B
        BNE bad1

        LDA acc
        CLC
        ADC cells
        CLC
        ADC cells+1
        CLC
        ADC cells+2
        CLC
        ADC d3
        CLC
        ADC tab+1
        EOR tab+2
        JMP $FFF9

bad1:   LDA #1
        JMP $FFF9
bad2:   LDA #2
        JMP $FFF9

cells:  .DB $10, $20, $30
d1:     .DB $11
d2:     .DB $22
d3:     .DB $44
