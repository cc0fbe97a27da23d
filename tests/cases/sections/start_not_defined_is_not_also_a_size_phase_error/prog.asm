.SECTION "a",later
LDA later
.SECTION "b",$0010
later: NOP
