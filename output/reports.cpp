// Section dump and symbol listing, formatted by hand into the output buffer.
#include "output/reports.h"

#include <cstring>
#include <vector>

#include "driver/run.h"

static const char HEX[] = "0123456789abcdef";

static inline char shown(uint8_t b) { return (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.'; }

void dump_bytes(OutStream& out, const uint8_t* bytes, int32_t n) {
  out_printf(g->out, "Print Array of %d\n", n);
  int32_t full = n > 0 ? n / 8 : 0;
  for (int32_t row = 0; row < full; row++) {
    const uint8_t* b = bytes + static_cast<size_t>(row) * 8;
    char* o = out_reserve(out, 33);
    for (int i = 0; i < 8; i++) {
      o[i * 3] = HEX[b[i] >> 4];
      o[i * 3 + 1] = HEX[b[i] & 15];
      o[i * 3 + 2] = i == 7 ? ' ' : '-';
    }
    for (int i = 0; i < 8; i++) o[24 + i] = shown(b[i]);
    o[32] = '\n';
    out_commit(out, 33);
  }
  int32_t r = n > 0 ? n % 8 : 0;
  char* o = out_reserve(out, 33);
  size_t k = 0;
  if (r > 0) {
    const uint8_t* b = bytes + static_cast<size_t>(full) * 8;
    for (int32_t i = 0; i < r; i++) {
      o[k++] = HEX[b[i] >> 4];
      o[k++] = HEX[b[i] & 15];
      o[k++] = '-';
    }
    for (int32_t i = 0; i < (8 - r) * 3; i++) o[k++] = ' ';
    for (int32_t i = 0; i < r; i++) o[k++] = shown(b[i]);
  }
  o[k++] = '\n';
  out_commit(out, k);
  if (out.line_flush && !out_flush(out)) stream_failed(out);
}

void dump_section(OutStream& out, const Section* s) {
  out_printf(out, "------------- Section Dump %s -----------------\n", s->name);
  dump_bytes(out, s->buffer, s->size);
  out_printf(out, "Section:%s  Start=%04x  End = %04x Size = %d\n", s->name, static_cast<unsigned>(s->start),
             static_cast<unsigned>(s->location_counter), s->size);
}

void dump_sections(OutStream& out) {
  table_visit(g->sections, [&](void* p) { dump_section(out, static_cast<const Section*>(p)); });
}

void list_symbol(OutStream& out, const Symbol* sym) {
  const char* name = sym_name(sym);
  size_t n = std::strlen(name);
  if (n > 4096) {
    out_printf(out, "%s\t$%04x\n", name, static_cast<unsigned>(sym->value));
    return;
  }
  char* o = out_reserve(out, n + 8);
  std::memcpy(o, name, n);
  o[n] = '\t';
  o[n + 1] = '$';
  unsigned v = sym->value;
  o[n + 2] = HEX[(v >> 12) & 15];
  o[n + 3] = HEX[(v >> 8) & 15];
  o[n + 4] = HEX[(v >> 4) & 15];
  o[n + 5] = HEX[v & 15];
  o[n + 6] = '\n';
  out_commit(out, n + 7);
  if (out.line_flush && !out_flush(out)) stream_failed(out);
}

void list_symbols(OutStream& out) {
  out_printf(out, "-------------- Symbol Table -----------------\n");
  // The symbols lie all over memory in this order: each is asked for a few lines before it
  // is written.
  std::vector<const Symbol*> all = symbols_in_table_order();
  constexpr size_t AHEAD = 8;
  for (size_t i = 0; i < all.size(); i++) {
    if (i + AHEAD < all.size()) __builtin_prefetch(all[i + AHEAD]);
    list_symbol(out, all[i]);
  }
}
