.SECTION "code",$2000
vector: .DW $1234
JMP (vector),Y
