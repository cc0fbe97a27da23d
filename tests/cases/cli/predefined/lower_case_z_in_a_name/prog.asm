	.SECTION "code",$2000
	INC zz	; a predefined name with the last lower-case letter
