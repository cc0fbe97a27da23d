.SECTION "code",entry
entry: NOP
