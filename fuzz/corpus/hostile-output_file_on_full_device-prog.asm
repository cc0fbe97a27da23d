.SECTION "code",$2000
start: LDA #1
