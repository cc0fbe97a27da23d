.SECTION "data",$3000
.DB <'é
.DW 'é
.DL 'é
.DW 'A
