.SECTION "code",$2000
INCLUDE "part.asm"
  SVC
NOP
