// Section dump and symbol listing, formatted by hand into the output buffer.
#include "output/reports.h"

#include <cstring>
#include <vector>

#include "base/run.h"

static const char HEX[] = "0123456789abcdef";

// A byte as the dump's text column shows it.
static inline char shown(uint8_t b) { return (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.'; }

// Each byte value as the dump writes it: its two digits and a dash, and the character the
// text column shows for it.
struct DumpGlyphs {
  char digits[256][4];
  char text[256];
  DumpGlyphs() {
    for (int b = 0; b < 256; b++) {
      digits[b][0] = HEX[b >> 4];
      digits[b][1] = HEX[b & 15];
      digits[b][2] = '-';
      digits[b][3] = '\0';
      text[b] = shown(static_cast<uint8_t>(b));
    }
  }
};
static const DumpGlyphs glyphs;

// One full row of eight bytes: "xx-" seven times, "xx ", the eight characters, a line feed
// (33 bytes). Each byte's digits go in as four bytes; the fourth is overwritten next.
static inline void dump_row(char* o, const uint8_t* b) {
  for (int i = 0; i < 8; i++) std::memcpy(o + i * 3, glyphs.digits[b[i]], 4);
  o[23] = ' ';
  for (int i = 0; i < 8; i++) o[24 + i] = glyphs.text[b[i]];
  o[32] = '\n';
}

void dump_bytes(OutStream& out, const uint8_t* bytes, int32_t n) {
  out_printf(g->out, "Print Array of %d\n", n);  // standard output, whatever the stream
  constexpr int32_t ROW = 33, ROWS_AT_ONCE = 64;
  static_assert(ROW * ROWS_AT_ONCE <= static_cast<int32_t>(OutStream::CAPACITY));
  int32_t full = n > 0 ? n / 8 : 0;
  for (int32_t row = 0; row < full;) {
    int32_t rows = full - row < ROWS_AT_ONCE ? full - row : ROWS_AT_ONCE;
    char* o = out_reserve(out, static_cast<size_t>(rows * ROW));
    for (int32_t k = 0; k < rows; k++, row++) dump_row(o + k * ROW, bytes + static_cast<size_t>(row) * 8);
    out_commit(out, static_cast<size_t>(rows * ROW));
  }
  int32_t r = n > 0 ? n % 8 : 0;
  char* o = out_reserve(out, ROW);
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
