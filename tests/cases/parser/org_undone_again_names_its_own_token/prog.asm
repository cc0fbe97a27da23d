.SECTION "code",$2000
.ORG 5 )
, )
NOP
NOP
