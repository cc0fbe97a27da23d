  start: NOP
