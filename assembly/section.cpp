// Sections and the location counter.
#include "assembly/section.h"

#include <cstring>

#include "base/diag.h"
#include "base/run.h"

void sections_start() { g->sections->table = table_create(SECTION_BUCKETS); }

Section* section_open(const char* name, uint16_t start) {
  Section* s = static_cast<Section*>(table_find(g->sections->table, name));
  if (!s) {
    s = static_cast<Section*>(record_alloc(g->sections->memory, sizeof(Section)));
    s->name = arena_strdup(g->sections->memory, name, std::strlen(name));
    s->location_counter = 0;
    s->start = start;
    s->buffer = nullptr;
    s->size = 0;
    table_insert(g->sections->table, s);
  }
  note("Section:%s  Start:%04x \n", s->name, static_cast<unsigned>(s->start));
  return s;
}

void section_statement(int pass, const char* name, const ExprValue* start) {
  if (pass == 1) {
    uint16_t address = start ? static_cast<uint16_t>(start->value & 0xFFFF) : 0;
    bool existed = table_find(g->sections->table, name) != nullptr;
    g->sections->current = section_open(name, address);
    // A start taken from a label further down would silently load the section at 0.
    if (!existed && start && !start->defined) {
      report_error_at(g->statement_pos, "Section %s Start Not Defined\n", name);
      g->sections->current->trouble_reported = true;
    }
    return;
  }
  Section* s = static_cast<Section*>(table_find(g->sections->table, name));
  if (!s) fatal_at(g->statement_pos, "Section %s Undefined in Pass 2\n", name);
  g->sections->current = s;
  if (start) {
    // Restarting a section that already holds bytes overwrites them.
    if (s->location_counter != 0) {
      report_error_at(g->statement_pos, "Section %s Restarted\n", s->name);
      s->trouble_reported = true;
    }
    s->location_counter = 0;
  }
}

void section_alloc_buffer(Section* s) {
  out_printf(g->out, "Section:%s  Start=%04x  Size = %04x\n", s->name, static_cast<unsigned>(s->start),
             static_cast<unsigned>(s->location_counter));
  if (s->location_counter < 0) {
    report_error("Section %s Negative Size\n", s->name);
    s->trouble_reported = true;
    s->size = 0;
    s->buffer = nullptr;
    return;
  }
  // Far beyond any 6502 address space: refuse it rather than print gigabytes of dump.
  if (s->location_counter > g->sections->limit) fatal("Section %s Too Large\n", s->name);
  s->buffer = static_cast<uint8_t*>(arena_alloc_large(g->sections->memory, static_cast<size_t>(s->location_counter)));
  s->size = s->location_counter;
}

void sections_alloc_buffers() {
  table_visit(g->sections->table, [](void* p) { section_alloc_buffer(static_cast<Section*>(p)); });
}

void sections_rewind() {
  table_visit(g->sections->table, [](void* p) { static_cast<Section*>(p)->location_counter = 0; });
}

void section_store_outside(Section* s) {
  if (s->overflow_reported) return;
  s->overflow_reported = true;
  s->trouble_reported = true;
  report_error_at(g->statement_pos, "Section %s Overflow\n", s->name);
}

void sections_check_sizes() {
  table_visit(g->sections->table, [](void* p) {
    Section* s = static_cast<Section*>(p);
    if (s->location_counter != s->size && !s->trouble_reported)
      report_error("Section Size Phase Error:%s Pass1=%04x  Pass2=%04x\n", s->name, static_cast<unsigned>(s->size),
                   static_cast<unsigned>(s->location_counter));
  });
}

Section* section_for_statement(Section* s) {
  const SrcPos& at = g->statement_pos;
  if (!s) fatal_at(at, "No Section Selected, line %d, column %d\n", at.line, at.col);
  return s;
}
