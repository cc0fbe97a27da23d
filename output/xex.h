// Binary load file: $FF $FF, then one segment per section in table order.
#pragma once
#include "assembly/section.h"
#include "driver/io.h"

void write_binary_load_file(OutStream& file);
void write_segment(OutStream& file, const Section* s);
