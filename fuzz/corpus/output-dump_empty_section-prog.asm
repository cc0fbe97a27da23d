.SECTION "empty",$2000
