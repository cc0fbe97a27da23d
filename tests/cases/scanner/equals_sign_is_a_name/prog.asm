.SECTION "c"
=: JMP =
