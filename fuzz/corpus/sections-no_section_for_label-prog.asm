.ORG $2000
  start: NOP
