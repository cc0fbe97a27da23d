.SECTION "code",$2000
JMP later
NOP
later: RTS
