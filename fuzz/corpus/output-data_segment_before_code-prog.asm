.SECTION "code",$2000
LDA table
RTS
.SECTION "data",$3000
table: .DB 1,2
