	.SECTION "code",$2000
	INCLUDE "part.inc"	; beside src/prog.asm
	INCLUDE "lib.inc"	; in lib/ (-I lib)
	RTS
