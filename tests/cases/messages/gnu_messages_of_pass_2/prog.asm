        .SECTION "code",$2000
        INCLUDE "a.inc"
        BNE far
        .DS 200
far:    LDA zp
next:   .DB 1/zero, 2%zero
        .SECTION "zp",$80
zp:     .DS 1
        .SECTION "z",0
zero:   .DB 0
