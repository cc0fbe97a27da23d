.SECTION "data",$3000
.DB 1
.SECTION "code",$2000
NOP
.SECTION "data"
.DB 2
