	.SECTION "code",$2000
	INCLUDE "dep.inc"
	INCLUDE "lab.inc"
	INCLUDE "lst.inc"
	RTS
