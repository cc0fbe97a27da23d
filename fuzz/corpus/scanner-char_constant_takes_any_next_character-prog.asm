.SECTION "c"
.DB ' ,'','
