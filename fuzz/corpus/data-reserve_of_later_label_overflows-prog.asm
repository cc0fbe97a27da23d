.SECTION "code",$2000
.DS fwd
NOP
fwd: NOP
