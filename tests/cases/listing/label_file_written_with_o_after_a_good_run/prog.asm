        .SECTION "c",$2000
start:  JMP start
