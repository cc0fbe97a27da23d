.SECTION "c"
.DB $1fz:
