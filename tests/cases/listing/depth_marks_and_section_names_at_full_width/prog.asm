 .SECTION "eleven_char",$2000
 INCLUDE "d1.inc"
 RTS
