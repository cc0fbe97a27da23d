; Bubble sort of a table of twelve bytes, in place, unsigned, smallest first.
; Table:  200 3 77 3 255 0 128 64 19 91 150 42
; Sorted:   0 3 3 19 42 64 77 91 128 150 200 255
; The sorted table is folded into one byte, first to last: acc := acc * 2 + byte.
; acc: 0, 3, 9, 37, 116, 296-256=40, 157, 405-256=149, 426-256=170,
;      490-256=234, 668-512=156, 567-512=55
; expect: 55

.SECTION "zp",$80
swapped: .DS 1

.SECTION "code",$0400
start:  LDX #$FF
        TXS
pass:   LDA #0
        STA swapped
        LDX #0
inner:  LDA table,X
        CMP table+1,X
        BCC inorder     ; table[x] < table[x+1]
        BEQ inorder
        TAY
        LDA table+1,X
        STA table,X
        TYA
        STA table+1,X
        INC swapped
inorder: INX
        CPX #tableend-table-1
        BNE inner
        LDA swapped
        BNE pass

        LDA #0
        LDX #0
fold:   ASL A
        CLC
        ADC table,X
        INX
        CPX #tableend-table
        BNE fold
        JMP $FFF9

table:  .DB 200, 3, 77, 3, 255, 0, 128, 64, 19, 91, 150, 42
tableend:
