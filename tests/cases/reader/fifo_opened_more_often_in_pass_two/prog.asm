.SECTION "c",$2000
INCLUDE "a.inc"
INCLUDE "sync.fifo"
