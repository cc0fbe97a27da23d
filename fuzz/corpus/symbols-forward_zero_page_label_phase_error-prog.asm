.SECTION "code",$2000
LDA zp
after: RTS
.SECTION "zero",$0080
zp: .DB 0
