	.SECTION "code",$2000
	BNE far
	JMP nowhere
	.DS 128
far:	RTS
