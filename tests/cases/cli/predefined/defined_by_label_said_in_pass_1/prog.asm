	.SECTION "code",$2000
	LDA missing	; said in pass 2
COLBK:	NOP		; said in pass 1, so first
