	.SECTION "code",$2000
	INC az	; a predefined name with the first and the last lower-case letter
