.SECTION "c",$2000
.DB 1é:
.DB 2ÿ:
