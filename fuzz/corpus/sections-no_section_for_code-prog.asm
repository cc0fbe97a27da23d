; nothing selected yet
  LDA #1
