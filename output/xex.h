// Binary load file: $FF $FF, then one segment per section in table order.
#pragma once
#include "assembly/section.h"
#include "base/stream.h"

void write_binary_load_file(OutStream& file, const NameTable* sections);
void write_segment(OutStream& file, const Section* s);
