.SECTION "chars",$2000
.DB $20,$7E,$7F,$FF,'A,0,$80,$5F
.DB $E9,'~
