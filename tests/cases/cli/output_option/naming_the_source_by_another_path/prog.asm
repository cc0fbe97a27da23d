	.SECTION "code",$2000
start:	LDA #$01
	STA $D01A
loop:	JMP loop
