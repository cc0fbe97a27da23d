// Symbols and labels.
#include "assembly/symbol.h"

#include <cstdlib>
#include <cstring>

#include "driver/run.h"

// Pass 2 meets the identifiers of pass 1 again, in the same order: the symbol recorded for
// the same position is the one a lookup would find when its name is the same text, since
// pass 2 creates no symbols.
static Symbol* recorded_reference(const char* text) {
  Run& r = *g;
  if (!r.references_valid) return nullptr;
  if (r.reference_next < r.references.size()) {
    // The records are spread over memory; ask for the ones a few identifiers ahead now.
    if (r.reference_next + 16 < r.references.size()) {
      const char* ahead = reinterpret_cast<const char*>(r.references[r.reference_next + 16]);
      __builtin_prefetch(ahead);
    }
    Symbol* sym = r.references[r.reference_next++];
    if (sym && std::strcmp(sym_name(sym), text) == 0) return sym;
  }
  r.references_valid = false;
  return nullptr;
}

static const char* entry_name(const void* entry) { return sym_name(static_cast<const Symbol*>(entry)); }

void symbols_start() { name_index_init(g->symbol_index, entry_name); }

// Pass 1 creates the symbol of a name it meets for the first time.
static Symbol* symbol_create(const char* text, uint64_t key) {
  size_t n = std::strlen(text);
  Symbol* sym = static_cast<Symbol*>(arena_alloc_in_line(g->symbol_memory, sizeof(Symbol) + n + 1));
  if (!name_index_fits(sym)) out_of_memory();
  std::memcpy(const_cast<char*>(sym_name(sym)), text, n + 1);
  sym->number = static_cast<uint32_t>(g->symbol_list.size());
  g->symbol_list.push_back(sym);
  name_index_put(g->symbol_index, key, sym);
  out_write(g->out, "Added ", 6);
  out_write(g->out, text, n);
  out_putc(g->out, '\n');
  return sym;
}

std::vector<const Symbol*> symbols_in_table_order() {
  // A counting sort by bucket; within a bucket, the symbols from the newest back.
  const std::vector<Symbol*>& all = g->symbol_list;
  std::vector<uint8_t> bucket(all.size());
  std::vector<size_t> at(SYMBOL_BUCKETS + 1, 0);
  for (size_t k = 0; k < all.size(); k++) {
    bucket[k] = static_cast<uint8_t>(name_hash(sym_name(all[k])) % SYMBOL_BUCKETS);
    at[bucket[k] + 1u]++;
  }
  for (int b = 0; b < SYMBOL_BUCKETS; b++) at[static_cast<size_t>(b) + 1] += at[static_cast<size_t>(b)];
  std::vector<const Symbol*> order(all.size());
  for (size_t k = all.size(); k-- > 0;) order[at[bucket[k]]++] = all[k];
  return order;
}

Symbol* symbol_reference(const char* text) {
  if (g->pass == 2) {
    if (Symbol* sym = recorded_reference(text)) return sym;
  }
  // The scanner has the key of its current text when it read a name straight from its block.
  const Scanner& sc = g->scanner;
  uint64_t key = text == sc.text && sc.text_key ? sc.text_key : table_key(text, std::strlen(text));
#ifdef XEXASM_CHECKS
  if (key != table_key(text, std::strlen(text))) std::abort();
#endif
  const NameIndex& x = g->symbol_index;
  Symbol* sym = static_cast<Symbol*>(name_index_entry(x, name_index_find(x, text, key)));
  if (!sym && g->pass == 1) sym = symbol_create(text, key);
  // While pass 1's trace is recorded, it keeps the symbols for pass 2.
  if (g->pass == 1 && !g->trace.recording) g->references.push_back(sym);
  if (sym) return sym;
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
    report_error("Address Phase Error:%s Pass1=%04x  Pass2=%04x\n", sym_name(sym), static_cast<unsigned>(sym->value),
                 static_cast<unsigned>(address));
  }
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}

ExprValue symbol_value(Symbol* sym) {
  if (!sym) return ExprValue{0, 0};
  if (g->pass == 2 && !sym->defined) report_error("Symbol %s Not Defined\n", sym_name(sym));
  return ExprValue{sym->value, sym->defined ? 1 : 0};
}
