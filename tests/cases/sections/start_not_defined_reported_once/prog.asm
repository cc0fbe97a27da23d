.SECTION "a",fwd
.SECTION "a",fwd
fwd: NOP
