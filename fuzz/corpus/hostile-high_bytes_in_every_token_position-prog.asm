.SECTION "c",$2000
€: NOP
.DB "Èÿ"
.DB 'ÿ, '€
.DW 'é
.DB 7Èx: NOP
.DB $ÿy: NOP
; €Èÿ in a comment ÿ
NOP
