; player.asm: a display list of its own, with a title line, and player 0
; moved around the screen by the joystick in port 1, until RESET is pressed.
;
;   xexasm --names=atari.names player.asm     assembles it into player.xex
;
; The names of the chips' registers and of the OS's shadow registers come
; from atari.names, which --names reads before the first pass. ANTIC shows
; the display list that SDLSTL/SDLSTH point at; the OS copies them into the
; chip in every vertical blank, as it copies SDMCTL, PCOLR0 and STICK0.
; Player 0 is drawn in single-line resolution: its 256 bytes, one a scan
; line, lie at PMBASE * 256 + $400 ($3400 here).

	.SECTION "zp",$CB	; $CB-$D1: zero page left to user programs
xpos:	.DS 1			; horizontal position of player 0
ypos:	.DS 1			; its top line in the player's memory

	.SECTION "code",$2000
start:	LDA #0
	STA SDMCTL		; no screen DMA while the display list changes
	STA GRACTL
	LDA #>dlist		; > takes the low byte
	STA SDLSTL
	LDA #<dlist		; < takes the high byte
	STA SDLSTH

	LDX #39			; the title in ANTIC's internal code
title:	LDA text,X
	SEC
	SBC #$20		; ATASCII $20-$5F to the internal code
	STA line,X
	DEX
	BPL title

	LDA #$30		; player-missile memory at $3000
	STA PMBASE
	LDA #$1C		; yellow
	STA PCOLR0
	LDA #0
	STA SIZEP0		; normal width
	LDA #120
	STA xpos
	LDA #100
	STA ypos
	LDA #2			; players on (no missiles)
	STA GRACTL
	LDA #$3A		; normal playfield, player DMA, single-line, DMA on
	STA SDMCTL

; Every frame: read the joystick, move, and draw the player anew.
frame:	LDA RTCLOK+2		; the frame counter's low byte
tick:	CMP RTCLOK+2
	BEQ tick
	LDA #0
	STA ATRACT		; the joystick counts as no key: keep the colours

	LDA STICK0		; a bit at 0 for each direction pushed
	LSR A			; bit 0: up
	BCS down
	DEC ypos
down:	LSR A			; bit 1: down
	BCS left
	INC ypos
left:	LSR A			; bit 2: left
	BCS right
	DEC xpos
right:	LSR A			; bit 3: right
	BCS moved
	INC xpos
moved:	LDA xpos
	STA HPOSP0		; a chip register: no shadow, written every frame

	LDA #0			; clear the player's column
	TAX
clear:	STA $3400,X
	INX
	BNE clear
	LDX ypos		; and draw the shape at its line
	LDY #0
draw:	LDA shape,Y
	STA $3400,X
	INX
	INY
	CPY #8
	BNE draw
	JMP frame

shape:	.DB $18,$3C,$7E,$FF,$FF,$7E,$3C,$18	; a ball, eight lines high
text:	.DB "        PLAYER 0 AND THE JOYSTICK       "
line:	.DS 40			; the title line, in internal code

; The display list: 24 blank scan lines, the title (ANTIC mode 2 with its
; memory address), 184 blank lines, and a jump back to the start that waits
; for the vertical blank. It stays within one 1 KiB block, as ANTIC needs.
dlist:	.DB $70,$70,$70
	.DB $42			; mode 2, load memory scan: the address follows
	.DW line
	.DB $70,$70,$70,$70,$70,$70,$70,$70,$70,$70,$70,$70
	.DB $70,$70,$70,$70,$70,$70,$70,$70,$70,$70,$70
	.DB $41			; jump, and wait for the vertical blank
	.DW dlist

	.SECTION "run",RUNAD	; where DOS starts the program
	.DW start
