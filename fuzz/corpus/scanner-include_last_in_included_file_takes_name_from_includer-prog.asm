.SECTION "c"
INCLUDE "a.inc" "b.inc"
INX
