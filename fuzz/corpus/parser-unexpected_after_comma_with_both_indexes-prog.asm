	.SECTION "code",$2000
	NOP
	LDA	5,#
