 .SECTION "code",$2000
 LDA counter
 RTS
 .SECTION "zp",$80
counter: .DS 1
