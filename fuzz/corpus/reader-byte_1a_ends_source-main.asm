.SECTION "c",$2000
NOP
SVC garbage
