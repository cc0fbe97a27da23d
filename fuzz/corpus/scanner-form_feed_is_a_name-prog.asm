.SECTION "c"
: JMP 
