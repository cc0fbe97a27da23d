; Pick the handler of entry 2 from a table of addresses and jump to it
; through a vector. Every label stands above $00FF, so the forward
; references keep their absolute size in both passes.
	.SECTION "code",$3000
main:	LDA #2
	ASL A		; two bytes per entry
	TAY
	LDA handlers,Y	; low byte of the address
	STA vector
	LDA handlers+1,Y	; high byte
	STA vector+1
	JMP (vector)
one:	LDA #'1
	RTS
two:	LDA #'2
	RTS
three:	LDA #'3
	RTS
handlers: .DW one,two,three
vector:	.DS 2
