INCLUDE "e01.inc"
