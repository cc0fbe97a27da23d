.SECTION "c"
.DB $ ,1
