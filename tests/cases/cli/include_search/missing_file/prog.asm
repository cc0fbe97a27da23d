	INCLUDE "missing.inc"
	.SECTION "code",$2000
