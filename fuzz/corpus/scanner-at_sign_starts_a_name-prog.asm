.SECTION "c"
@abc: JMP @abc
