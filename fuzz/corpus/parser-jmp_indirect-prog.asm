.SECTION "code",$2000
JMP (vector)
vector: .DW $1234
