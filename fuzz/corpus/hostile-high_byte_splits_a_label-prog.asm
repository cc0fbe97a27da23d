.SECTION "c",$2000
abÿcd: NOP
