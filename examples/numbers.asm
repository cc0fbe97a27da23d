; numbers.asm: print the first 24 Fibonacci numbers, one a line, through
; the OS's CIO routine, wait for a key, and go back to DOS.
;
;   xexasm --names=atari.names -I lib numbers.asm     assembles numbers.xex
;
; The routine that turns a number into its decimal digits and prints it is
; a library file, lib/decimal.inc; -I lib tells xexasm where to find it.

	.SECTION "zp",$CB	; $CB-$D1: zero page left to user programs
value:	.DS 2			; the number being printed (taken apart by it)
fa:	.DS 2			; the two latest numbers of the sequence
fb:	.DS 2
count:	.DS 1			; lines left

	.SECTION "code",$2000
start:	LDA #0			; fa = 0, fb = 1
	STA fa
	STA fa+1
	STA fb+1
	LDA #1
	STA fb
	LDA #24
	STA count
next:	LDA fa			; print fa
	STA value
	LDA fa+1
	STA value+1
	JSR decimal
	CLC			; fa, fb = fb, fa + fb
	LDA fa
	ADC fb
	TAX
	LDA fa+1
	ADC fb+1
	TAY
	LDA fb
	STA fa
	LDA fb+1
	STA fa+1
	STX fb
	STY fb+1
	DEC count
	BNE next

	LDA #$FF
	STA CH			; forget any key pressed before
key:	LDA CH			; $FF until a key is pressed
	CMP #$FF
	BEQ key
	LDA #$FF
	STA CH			; take the key, so that DOS does not see it
	RTS			; back to DOS

	INCLUDE "decimal.inc"

	.SECTION "run",RUNAD	; where DOS starts the program
	.DW start
