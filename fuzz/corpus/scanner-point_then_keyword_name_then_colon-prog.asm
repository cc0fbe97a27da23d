.SECTION "c"
loop: .DB loop
