.SECTION "c"
INCLUDE ; file
"a.inc" INX
