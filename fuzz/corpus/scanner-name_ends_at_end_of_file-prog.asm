.SECTION "c"
x: JMP x