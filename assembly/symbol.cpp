// Symbols and labels.
#include "assembly/symbol.h"

#include <cstring>

#include "base/diag.h"
#include "base/run.h"

void symbols_start() { g->symbols->table = table_create(SYMBOL_BUCKETS); }

void symbol_predefine(const char* name, uint16_t value) {
  Symbols& y = *g->symbols;
  if (!y.predefined) y.predefined = table_create(PREDEFINED_BUCKETS);
  if (auto* p = static_cast<PredefinedName*>(table_find(y.predefined, name))) {
    p->value = value;
    return;
  }
  size_t n = std::strlen(name);
  auto* p = static_cast<PredefinedName*>(record_alloc(y.memory, sizeof(PredefinedName) + n + 1));
  char* copy = reinterpret_cast<char*>(p + 1);
  std::memcpy(copy, name, n + 1);
  p->name = copy;
  p->value = value;
  table_insert(y.predefined, p);
}

// Pass 1 creates the symbol of a name it meets for the first time; a predefined name comes
// in defined, with its value.
static Symbol* symbol_create(const char* text) {
  Symbols& y = *g->symbols;
  size_t n = std::strlen(text);
  Symbol* sym = static_cast<Symbol*>(record_alloc(y.memory, sizeof(Symbol) + n + 1));
  char* name = reinterpret_cast<char*>(sym + 1);
  std::memcpy(name, text, n + 1);
  sym->name = name;
  if (const auto* p = static_cast<const PredefinedName*>(table_find(y.predefined, text))) {
    sym->value = p->value;
    sym->defined = 1;
    sym->predefined = true;
  }
  table_insert(y.table, sym);
  out_write(g->out, "Added ", 6);
  out_write(g->out, text, n);
  out_putc(g->out, '\n');
  return sym;
}

// Pass 1 creates a name's symbol the first time it meets the name; pass 2 only finds it.
static Symbol* symbol_lookup(const char* text) {
  Symbol* sym = static_cast<Symbol*>(table_find(g->symbols->table, text));
  if (sym) return sym;
  if (g->pass == 1) return symbol_create(text);
  report_error_at(g->operand_pos, "Symbol %s Not Defined\n", text);
  return nullptr;
}

Symbol* symbol_reference(const char* text) {
  NameHint& hint = g->symbols->hint;
  if (text != hint.text) return symbol_lookup(text);
  if (hint.symbol && std::strcmp(hint.symbol->name, text) == 0) return hint.symbol;
  return hint.symbol = symbol_lookup(text);
}

ExprValue label_define(int pass, Symbol* sym, Section* s) {
  s = section_for_statement(s);
  if (!sym) return ExprValue{0, 0};  // pass 2 met a name that pass 1 never saw
  if (sym->predefined) {
    // The name keeps its value; said once, in pass 1.
    if (pass == 1) report_error_at(g->statement_pos, "Label %s Redefines a Predefined Name\n", sym->name);
    return ExprValue{sym->value, 1};
  }
  int32_t address = static_cast<int32_t>(static_cast<uint32_t>(s->start) + static_cast<uint32_t>(s->location_counter));
  if (pass == 1) {
    sym->value = static_cast<uint16_t>(address & 0xFFFF);
    sym->defined = 1;
  } else if (address != static_cast<int32_t>(sym->value)) {
    s->trouble_reported = true;
    report_error_at(g->statement_pos, "Address Phase Error:%s Pass1=%04x  Pass2=%04x\n", sym->name,
                    static_cast<unsigned>(sym->value), static_cast<unsigned>(address));
  }
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}

ExprValue symbol_value(Symbol* sym) {
  if (!sym) return ExprValue{0, 0};
  if (g->pass == 2 && !sym->defined) report_error_at(g->operand_pos, "Symbol %s Not Defined\n", sym->name);
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}
