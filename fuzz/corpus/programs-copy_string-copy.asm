; Copy a zero-terminated message into a buffer, byte by byte.
	.SECTION "code",$2000
start:	LDX #0
copy:	LDA message,X	; the message stands after the code
	STA buffer,X
	BEQ done	; the terminating zero has been copied too
	INX
	BNE copy
done:	RTS
message: .DB "HELLO",0
buffer:	.DS 6
