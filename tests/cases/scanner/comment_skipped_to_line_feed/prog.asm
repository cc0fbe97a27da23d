.SECTION "c"
NOP ; done
