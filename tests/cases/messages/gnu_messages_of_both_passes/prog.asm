        .SECTION "code",low
low:    .DB 1/0
        LDA ]
