; print.asm: print a few lines through the OS's screen editor, wait for a
; key, and go back to DOS.
;
;   xexasm --names=atari.names print.asm      assembles it into print.xex
;
; CIO, the OS's central input/output routine (CIOV), does the work. IOCB 0,
; the control block at $0340, is the screen editor E:, which the OS keeps
; open. The program fills in the command, the buffer address and the
; buffer length, and calls CIO with X holding the IOCB number times 16.
; The OS's names (CIOV, ICCOM, CH, ...) come from atari.names.

	.SECTION "code",$2000
start:	LDX #0			; IOCB 0 (X = IOCB number * 16)
	LDA #PUTCHR		; command: put characters
	STA ICCOM,X
	LDA #>text		; buffer address: > takes the low byte
	STA ICBAL,X
	LDA #<text		; < takes the high byte
	STA ICBAH,X
	LDA #>[text_end-text]	; buffer length, low byte
	STA ICBLL,X
	LDA #<[text_end-text]	; and high byte
	STA ICBLH,X
	JSR CIOV		; the status comes back in Y, negative on error
	BMI done		; nothing to wait for if the screen editor failed

	LDA #$FF
	STA CH			; forget any key pressed before
key:	LDA CH			; $FF until a key is pressed
	CMP #$FF
	BEQ key
	LDA #$FF
	STA CH			; take the key, so that DOS does not see it
done:	RTS			; back to DOS

text:	.DB $7D			; ATASCII "clear screen"
	.DB "XEXASM SAYS HELLO",$9B	; $9B (EOL) ends a line
	.DB $9B
	.DB "These lines went through CIO, the OS's",$9B
	.DB "central input/output routine.",$9B
	.DB $9B
	.DB "Press any key to return to DOS.",$9B
text_end:

; The load format's run address: DOS jumps to the address stored in RUNAD
; once the whole file is loaded.
	.SECTION "run",RUNAD
	.DW start
