.SECTION "c",$2000
.DB "A
B",'
