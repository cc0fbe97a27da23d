        .SECTION "c",$2000
abcdefghijklmnopq: NOP
abcdefgi: NOP
b:
abcdefgh1: NOP
abcdefghijklmnopp:
abcdefgh: NOP
abcdefghijklmnop: NOP
