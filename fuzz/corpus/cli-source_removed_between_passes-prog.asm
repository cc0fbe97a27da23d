.SECTION "c",$2000
INCLUDE "fifo.inc"
NOP
