.SECTION "nostart"
start: LDA #1
JMP start
