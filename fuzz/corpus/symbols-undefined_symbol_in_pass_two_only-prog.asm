.SECTION "code",$2000
LDA undef
STA undef+1
.DB undef
