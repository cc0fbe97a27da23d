	.SECTION "code",$2000
start:	INCLUDE "part.inc"
	.DB 1,2
loop:	JMP loop
