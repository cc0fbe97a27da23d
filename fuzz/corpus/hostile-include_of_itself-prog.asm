INCLUDE "prog.asm"
