.SECTION "c"
.DB "A
B;C"
