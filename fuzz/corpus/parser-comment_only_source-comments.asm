; nothing to assemble here
	; only comments
