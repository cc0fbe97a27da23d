.SECTION "c"
.DB '