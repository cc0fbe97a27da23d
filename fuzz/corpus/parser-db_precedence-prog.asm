.SECTION "code",$2000
.DB 1+2*3
.DB [1+2]*3
.DB 1|2^3
.DB 6&3|8
.DB 6|3&8
.DB --5
