.SECTION "d",$2000
.DW 1,2
.DW "AB"
.DL 1,"ABC"
.DW $12345,"é"
.DL -2
