.SECTION "top",$FFFE
.DW $1234
end: .DB 0
