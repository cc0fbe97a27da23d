	.SECTION "code",$2000
	INC aa	; a predefined name with the first lower-case letter
