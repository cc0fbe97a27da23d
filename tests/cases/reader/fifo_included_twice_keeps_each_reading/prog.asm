.SECTION "c",$2000
INCLUDE "part.inc"
INCLUDE "sync.fifo"
INCLUDE "part.inc"
