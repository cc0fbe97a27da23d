.SECTION "c"
NOP ; done