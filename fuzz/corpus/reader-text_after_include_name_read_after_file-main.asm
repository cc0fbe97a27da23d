.SECTION "c",$2000
INCLUDE "a.inc" .DB 2 ; two
