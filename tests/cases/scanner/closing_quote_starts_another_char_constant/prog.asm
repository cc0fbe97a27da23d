.SECTION "c"
.DB 'A'
