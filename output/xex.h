// Binary load file: $FF $FF, then one segment per section in table order.
#pragma once
#include "assembly/section.h"
#include "base/stream.h"

void write_binary_load_file(OutStream& file, const NameTable* sections);
// One segment: its first and last address, low byte first, then its bytes (announced on
// standard error as a note).
void write_segment(OutStream& file, const Section* s);
