.SECTION "code",$2000
dup: NOP
dup: JMP dup
