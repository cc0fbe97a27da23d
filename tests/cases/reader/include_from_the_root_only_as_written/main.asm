INCLUDE "/from_sub.inc"
