; nothing selected yet
        NOP
        .SECTION "c",$2000
