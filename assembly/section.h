// Sections: named blocks of target memory with a start address and a location counter.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/name_table.h"
#include "base/arena.h"

struct Section {
  const char* name;          // whole name; the key of the section table
  int32_t location_counter;  // offset of the next byte from start
  int32_t start;             // 16-bit load address
  uint8_t* buffer;           // null until the buffers are allocated
  int32_t size;              // buffer length: the location counter pass 1 reached
  bool overflow_reported;    // a store outside the buffer was reported
  bool trouble_reported;     // an error about its bytes or labels was reported
};

// The module's record: the section table and the current section.
struct Sections {
  NameTable* table = nullptr;       // a NameTable of SECTION_BUCKETS buckets
  Section* current = nullptr;       // selected by the most recent SECTION statement
  Arena memory;                     // records, names and buffers of the whole run
  int64_t limit = int64_t{1} << 24;  // largest buffer a run allocates
  ~Sections() { table_destroy(table); }
};

constexpr int SECTION_BUCKETS = 11;

// Creates the empty section table.
void sections_start();
// The SECTION statement: pass 1 opens the section (a new one at its start address) and
// selects it; pass 2 selects it again, and a start address restarts its location counter.
void section_statement(int pass, const char* name, const ExprValue* start);
// The section of that name, made with that start when there is none yet (announced on
// standard error either way, as a note).
Section* section_open(const char* name, uint16_t start);
// Between the passes: a buffer of the size pass 1 measured for one section (its line on
// standard output), and for every section in table order.
void section_alloc_buffer(Section* s);
void sections_alloc_buffers();
// Pass 2 places every section's bytes from its first byte: every location counter to 0.
void sections_rewind();
// Pass 2: one byte at the location counter, which then advances. A store outside the
// buffer is dropped and reported once per section.
void section_store_outside(Section* s);
inline void section_store(Section* s, uint8_t byte) {
  int32_t at = s->location_counter;
  if (at >= 0 && at < s->size) s->buffer[at] = byte;
  else section_store_outside(s);
  s->location_counter = static_cast<int32_t>(static_cast<uint32_t>(at) + 1u);
}
// After pass 2: a section that pass 2 left at another size than pass 1 measured, with no
// other error reported for it, has bytes out of place; that is reported.
void sections_check_sizes();
// The current section for code, data or a label; stops the run when none is selected.
Section* section_for_statement(Section* s);
