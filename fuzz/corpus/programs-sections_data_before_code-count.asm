; Count the characters of a text. The variables live in zero page, the text
; and a table of squares in sections of their own. The load file and the
; reports list the sections by the hashes of their names, so the data comes
; before the code.
	.SECTION "vars",$0080
count:	.DS 1
ptr:	.DS 2

	.SECTION "code",$2000
start:	LDA #>text	; low byte of the address
	STA ptr
	LDA #<text	; high byte
	STA ptr+1
	LDY #0
loop:	LDA (ptr),Y
	BEQ done
	INY
	BNE loop
done:	STY count
	RTS

	.SECTION "data",$2150
text:	.DB "COUNT ME",0

	.SECTION "rodata",$2200
squares: .DB 0,1,4,9,16,25

	.SECTION "code"		; carry on after the RTS
square:	TAX
	LDA squares,X
	RTS
