	.SECTION "code",$2000
	INCLUDE "part.inc"
	INCLUDE "lib.inc"
	INCLUDE "part.inc"	; a second time: listed once
	RTS
