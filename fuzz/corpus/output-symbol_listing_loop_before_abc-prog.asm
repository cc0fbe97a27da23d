.SECTION "code",$2000
abc: NOP
loop: JMP loop
