.SECTION "high",$FFFE
.DB 1,2,3,4
