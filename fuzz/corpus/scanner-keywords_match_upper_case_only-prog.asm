.SECTION "c"
lda: Lda: LDAX: org: LDA lda
