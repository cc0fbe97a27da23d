// Binary load file writer.
#include "output/xex.h"

#include "base/diag.h"

void write_segment(OutStream& file, const Section* s) {
  unsigned start = static_cast<unsigned>(s->start) & 0xFFFF;
  unsigned end = (static_cast<unsigned>(s->start) + static_cast<unsigned>(s->size) - 1u) & 0xFFFF;
  note("Output Section %s:%04x::%04x\n", s->name, start, end);
  const char header[4] = {static_cast<char>(start & 0xFF), static_cast<char>(start >> 8),
                          static_cast<char>(end & 0xFF), static_cast<char>(end >> 8)};
  out_write(file, header, 4);
  if (s->size > 0) out_write(file, reinterpret_cast<const char*>(s->buffer), static_cast<size_t>(s->size));
}

void write_binary_load_file(OutStream& file, const NameTable* sections) {
  const char header[2] = {'\xFF', '\xFF'};
  out_write(file, header, 2);
  table_visit(sections, [&](void* p) { write_segment(file, static_cast<const Section*>(p)); });
}
