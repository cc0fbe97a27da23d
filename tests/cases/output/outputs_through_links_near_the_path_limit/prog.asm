        .SECTION "c",$2000
start:  LDA #1
        JMP start
