	.SECTION "code",$2000
	JMP nowhere
