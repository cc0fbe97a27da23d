; marquee.asm: scroll a message along the top line of the screen, until
; RESET is pressed.
;
;   xexasm --names=atari.names marquee.asm    assembles it into marquee.xex
;
; The program is made of three files: this one, marquee_vars.inc (its
; zero-page variables) and marquee_text.inc (the message, in a section of
; its own). An INCLUDE that is not found in the working folder is looked
; for beside the file that holds it, so this works from any folder.

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
	STA (SAVMSC),Y		; SAVMSC: the address of screen memory
	INX
	CPX #message_end-message
	BNE inside
	LDX #0			; past the end: go on from the start of the message
inside:	INY
	CPY #40
	BNE column

	LDA #6			; keep it for six frames
	STA delay
frame:	LDA RTCLOK+2		; the frame counter's low byte
tick:	CMP RTCLOK+2
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

	.SECTION "run",RUNAD	; where DOS starts the program
	.DW start
