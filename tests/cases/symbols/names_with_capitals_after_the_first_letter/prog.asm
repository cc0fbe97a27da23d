 .SECTION "c",$2000
printMsg: NOP
 JMP printMsg
loopA: JMP loopA
