        .SECTION "c",$2000
start:  STA COLBK
zz:     .DS 2
aa:     JMP start
