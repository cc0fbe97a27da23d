// Section dump and symbol listing, formatted by hand into the output buffer.
#include "output/reports.h"

#include <cstring>
#include <vector>

#include "base/run.h"

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

void dump_sections(OutStream& out, const NameTable* sections) {
  table_visit(sections, [&](void* p) { dump_section(out, static_cast<const Section*>(p)); });
}

void list_symbol(OutStream& out, const Symbol* sym) {
  size_t n = std::strlen(sym->name);
  if (n > OutStream::CAPACITY / 2) {
    out_printf(out, "%s\t$%04x\n", sym->name, static_cast<unsigned>(sym->value));
    return;
  }
  // name, a tab, '$' and four hexadecimal digits: "%s\t$%04x\n", formatted by hand.
  char* o = out_reserve(out, n + 7);
  std::memcpy(o, sym->name, n);
  unsigned v = sym->value;
  const char tail[7] = {'\t', '$', HEX[(v >> 12) & 15], HEX[(v >> 8) & 15], HEX[(v >> 4) & 15], HEX[v & 15], '\n'};
  std::memcpy(o + n, tail, 7);
  out_commit(out, n + 7);
  if (out.line_flush && !out_flush(out)) stream_failed(out);
}

void list_symbols(OutStream& out, const NameTable* symbols) {
  out_printf(out, "-------------- Symbol Table -----------------\n");
  table_visit(symbols, [&](void* p) { list_symbol(out, static_cast<const Symbol*>(p)); });
}
