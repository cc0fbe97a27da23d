.SECTION "neg",$2000
.DS -5
