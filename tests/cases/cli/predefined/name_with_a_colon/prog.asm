	.SECTION "code",$2000
	NOP
