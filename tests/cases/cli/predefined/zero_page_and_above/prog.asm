	.SECTION "code",$2000
start:	LDA RTCLOK	; zero page, met before any label defines anything
	STA COLBK
	INC CNT
	JMP start
