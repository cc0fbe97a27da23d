// Symbols and labels.
#pragma once
#include <cstdint>
#include <vector>

#include "assembly/expr.h"
#include "assembly/section.h"

// A symbol: what a lookup reads, with the whole name right behind it. Symbols lie close
// together in memory of their own, where the run's symbol index finds them, so a big
// program's lookups touch no more than the index and the symbols. The symbol table's order
// (the listing's) is worked out when it is wanted: see symbols_in_table_order.
struct Symbol {
  uint16_t value;
  int16_t defined;
  uint32_t number;  // order of creation: the run's symbol_list holds it there
};
inline const char* sym_name(const Symbol* sym) { return reinterpret_cast<const char*>(sym + 1); }

// Sets up the run's symbol index, empty.
void symbols_start();
// Every symbol in the symbol table's order: the order of a table of SYMBOL_BUCKETS chains
// by name_hash that got each symbol at the head of its chain when it was created (bucket 0
// up, the newest of each bucket first).
std::vector<const Symbol*> symbols_in_table_order();

Symbol* symbol_reference(const char* text);
ExprValue label_define(int pass, Symbol* sym, Section* s);
ExprValue symbol_value(Symbol* sym);
