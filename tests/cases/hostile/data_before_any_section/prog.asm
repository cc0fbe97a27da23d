; header
  .DB 1
