.SECTION "code",$2000
start: NOP
end:
