; colors.asm: cycle the five colour registers through a table of colours,
; one step every four frames, until RESET is pressed.
;
;   xexasm --names=atari.names colors.asm     assembles it into colors.xex
;
; The OS copies its shadow registers COLOR0-COLOR4 (atari.names) into the
; colour chip in every vertical blank. On the text screen that DOS leaves,
; COLOR1 gives the brightness of the letters, COLOR2 the background and
; COLOR4 the border. Neighbouring table entries differ in brightness, so
; the letters stay readable on the background.

; The zero-page variable comes first: a label that the code uses before it
; has been read would make xexasm choose the long (absolute) form in its
; first pass and the short one in its second (see docs/language.md).
	.SECTION "vars",$CB	; $CB-$D1: zero page left to user programs
phase:	.DS 1			; table index of COLOR0 in this step

	.SECTION "code",$2000
start:	LDA #0
	STA phase
step:	LDA phase
	AND #15
	TAX			; X: index into the table
	LDY #0			; Y: colour register, 0 to 4
reg:	LDA colours,X
	STA COLOR0,Y		; COLOR0 + Y
	INX
	TXA
	AND #15			; the table wraps around after 16 entries
	TAX
	INY
	CPY #5
	BNE reg

	LDA #0
	STA ATRACT		; keep the attract mode from dimming the screen
	LDX #4			; wait four frames
frame:	LDA RTCLOK+2		; the frame counter's low byte
tick:	CMP RTCLOK+2
	BEQ tick
	DEX
	BNE frame
	INC phase
	JMP step

; Colour bytes: the hue in the high four bits, the brightness in the low four.
colours: .DB $04,$1C,$24,$3C,$44,$5C,$64,$7C
	.DB $84,$9C,$A4,$BC,$C4,$DC,$E4,$FC

	.SECTION "run",RUNAD	; where DOS starts the program
	.DW start
