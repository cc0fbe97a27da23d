        .SECTION "c",$2000
        LDA #TEN
        .DW BIG,ZERO
