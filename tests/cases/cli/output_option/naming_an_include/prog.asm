	.SECTION "code",$2000
	INCLUDE "part.inc"
	RTS
