INCLUDE "d.inc"
