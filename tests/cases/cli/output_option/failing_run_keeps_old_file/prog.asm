	.SECTION "code",$2000
start:	JMP nowhere
