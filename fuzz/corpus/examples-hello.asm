; hello.asm: write a greeting at the top of the Atari 8-bit screen.
;
;   xexasm hello.asm        assembles it into hello.xex
;
; The code loads at $2000. The second section loads the run address into
; RUNAD ($02E0), so DOS starts the program as soon as the file is loaded.

	.SECTION "code",$2000
start:	LDY #0
next:	LDA message,Y	; next character, in ATASCII
	BEQ wait	; a zero ends the text
	SEC
	SBC #$20	; ATASCII to the screen's internal code
	STA ($58),Y	; SAVMSC ($58/$59) points at screen memory
	INY
	BNE next
wait:	JMP wait	; keep the text on the screen

message: .DB "HELLO, WORLD!",0

	.SECTION "run",$02E0
	.DW start
