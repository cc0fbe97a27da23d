.SECTION "code",$2000
. DB 1
.
DB 2
