INCLUDE "nope.inc"
