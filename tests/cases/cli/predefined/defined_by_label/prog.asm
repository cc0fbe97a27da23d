	.SECTION "code",$2000
COLBK:	NOP
	LDA #>COLBK	; still the predefined value
