.SECTION "code",$2000
Loop: NOP
loop: JMP Loop
