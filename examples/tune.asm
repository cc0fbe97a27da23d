; tune.asm: play a tune on POKEY's first channel, over and over, from a
; vertical blank routine, until RESET is pressed.
;
;   xexasm --names=atari.names tune.asm       assembles it into tune.xex
;
; SETVBV installs the routine as the deferred vertical blank routine; the
; OS calls it 50 or 60 times a second, and it ends by jumping to XITVBV.
; Each note is a divider for AUDF1 (with the 64 kHz clock: middle C is 121)
; and a length in frames.

	.SECTION "zp",$CB	; $CB-$D1: zero page left to user programs
note:	.DS 1			; index of the next note
left:	.DS 1			; frames left of the note that sounds

	.SECTION "code",$2000
start:	LDA #0
	STA AUDCTL		; 64 kHz clock, the four channels apart
	STA note
	LDA #3
	STA SKCTL		; POKEY out of its initialisation state
	LDA #1
	STA left		; the first note at the next frame
	LDA #7			; 7: the deferred vertical blank routine
	LDX #<play		; X: the routine's high byte (< takes the high byte)
	LDY #>play		; Y: its low byte
	JSR SETVBV
wait:	JMP wait		; the music goes on in the vertical blank

play:	DEC left
	BNE done
	LDX note
	LDA pitch,X		; the next note's divider; 0: the tune again
	BNE sound
	LDX #0
	STX note
	LDA pitch
sound:	STA AUDF1
	LDA #$AA		; pure tone ($A0), volume 10
	STA AUDC1
	LDA length,X
	STA left
	INC note
done:	JMP XITVBV

; Frere Jacques: C D E C, C D E C, E F G, E F G, G A G F E C, G A G F E C,
; C G C, C G C. Dividers: C 121, D 108, E 96, F 91, G 81, A 72, low G 162.
pitch:	.DB 121,108,96,121,121,108,96,121
	.DB 96,91,81,96,91,81
	.DB 81,72,81,91,96,121,81,72,81,91,96,121
	.DB 121,162,121,121,162,121
	.DB 0
length:	.DB 15,15,15,15,15,15,15,15
	.DB 15,15,30,15,15,30
	.DB 8,8,8,8,15,15,8,8,8,8,15,15
	.DB 15,15,30,15,15,30

	.SECTION "run",RUNAD	; where DOS starts the program
	.DW start
