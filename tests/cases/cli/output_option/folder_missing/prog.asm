	.SECTION "code",$2000
	RTS
