        .SECTION "c",$2000
start:  LDA #1
        .DB 2,3
