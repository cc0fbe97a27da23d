        .SECTION "c",$2000
        .DB 1,
          missing
        NOP
