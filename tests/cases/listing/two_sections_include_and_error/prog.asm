; two sections
        .SECTION "code",$2000
start:  LDA #$01
	STA $D01A
alone:

        INCLUDE "lib.inc"
        .DB 1,2,3,4,5,
            6
        .DS 2
loop:   JMP loop
        .SECTION "data",$3000
table:  .DW start,loop
        NOP ]
        RTS 
