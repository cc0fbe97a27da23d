; marquee.asm: scroll a message along the top line of the screen, until
; RESET is pressed.
;
;   cd examples && xexasm marquee.asm     assembles it into marquee.xex
;
; The program is made of three files: this one, marquee_vars.inc (its
; zero-page variables) and marquee_text.inc (the message, in a section of
; its own). INCLUDE opens a file relative to the working folder, so
; assemble it from inside examples/.

; First the variables: zero-page labels must be known before the code uses
; them, or the two passes choose different instruction sizes.
	INCLUDE "marquee_vars.inc"

	.SECTION "code",$2000
start:	LDA #0
	STA first
show:	LDX first		; X: message character for the leftmost column
	LDY #0			; Y: screen column, 0 to 39
column:	LDA message,X
	SEC
	SBC #$20		; ATASCII $20-$5F to the screen's internal code
	STA ($58),Y		; SAVMSC ($58/$59): the address of screen memory
	INX
	CPX #message_end-message
	BNE inside
	LDX #0			; past the end: go on from the start of the message
inside:	INY
	CPY #40
	BNE column

	LDA #6			; keep it for six frames
	STA delay
frame:	LDA $14			; RTCLOK+2 counts the frames
tick:	CMP $14
	BEQ tick
	DEC delay
	BNE frame

	INC first		; the next picture starts one character later
	LDA first
	CMP #message_end-message
	BNE show
	LDA #0
	STA first
	JMP show

	INCLUDE "marquee_text.inc"

	.SECTION "run",$02E0	; RUNAD: the run address
	.DW start
