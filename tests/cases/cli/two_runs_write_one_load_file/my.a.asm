.SECTION "c",$2000
INCLUDE "sync.fifo"
NOP
