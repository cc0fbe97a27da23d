// Symbols and labels.
#include "assembly/symbol.h"

#include <cstring>

#include "base/diag.h"
#include "base/run.h"

void symbols_start() { g->symbols->table = table_create(SYMBOL_BUCKETS); }

// Pass 1 creates the symbol of a name it meets for the first time.
static Symbol* symbol_create(const char* text) {
  Symbols& y = *g->symbols;
  size_t n = std::strlen(text);
  Symbol* sym = static_cast<Symbol*>(record_alloc(y.memory, sizeof(Symbol) + n + 1));
  char* name = reinterpret_cast<char*>(sym + 1);
  std::memcpy(name, text, n + 1);
  sym->name = name;
  table_insert(y.table, sym);
  out_write(g->out, "Added ", 6);
  out_write(g->out, text, n);
  out_putc(g->out, '\n');
  return sym;
}

Symbol* symbol_reference(const char* text) {
  Symbol* sym = static_cast<Symbol*>(table_find(g->symbols->table, text));
  if (sym) return sym;
  if (g->pass == 1) return symbol_create(text);
  report_error("Symbol %s Not Defined\n", text);
  return nullptr;
}

ExprValue label_define(int pass, Symbol* sym, Section* s) {
  s = section_for_statement(s);
  if (!sym) return ExprValue{0, 0};  // pass 2 met a name that pass 1 never saw
  int32_t address = static_cast<int32_t>(static_cast<uint32_t>(s->start) + static_cast<uint32_t>(s->location_counter));
  if (pass == 1) {
    sym->value = static_cast<uint16_t>(address & 0xFFFF);
    sym->defined = 1;
  } else if (address != static_cast<int32_t>(sym->value)) {
    s->trouble_reported = true;
    report_error("Address Phase Error:%s Pass1=%04x  Pass2=%04x\n", sym->name, static_cast<unsigned>(sym->value),
                 static_cast<unsigned>(address));
  }
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}

ExprValue symbol_value(Symbol* sym) {
  if (!sym) return ExprValue{0, 0};
  if (g->pass == 2 && !sym->defined) report_error("Symbol %s Not Defined\n", sym->name);
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}
