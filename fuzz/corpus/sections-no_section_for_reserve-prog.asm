

  .  DS 4
