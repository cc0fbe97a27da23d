        .SECTION "c",$2000
        LDA #N10
        .DW N40960,N0
