; hello.asm: write a greeting at the top of the Atari 8-bit screen.
;
;   xexasm --names=atari.names hello.asm      assembles it into hello.xex
;
; The code loads at $2000. The second section loads the run address into
; RUNAD, so DOS starts the program as soon as the file is loaded. The names
; of the OS's addresses (SAVMSC, RUNAD) come from atari.names, which
; --names reads before the first pass.

	.SECTION "code",$2000
start:	LDY #0
next:	LDA message,Y	; next character, in ATASCII
	BEQ wait	; a zero ends the text
	SEC
	SBC #$20	; ATASCII to the screen's internal code
	STA (SAVMSC),Y	; SAVMSC points at screen memory
	INY
	BNE next
wait:	JMP wait	; keep the text on the screen

message: .DB "HELLO, WORLD!",0

	.SECTION "run",RUNAD
	.DW start
