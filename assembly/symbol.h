// Symbols and labels.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/section.h"

// A symbol: what a lookup reads, with the whole name right behind it. Symbols lie close
// together in memory of their own, and the run's symbol index finds them; the symbol table
// chains a separate record for each (a SymbolRecord), made when the listing wants the
// table. So a big program's lookups touch no more than the index and the symbols.
struct Symbol {
  uint16_t value;
  int16_t defined;
  uint32_t number;  // order of creation: the run's symbol_list holds it there
};
inline const char* sym_name(const Symbol* sym) { return reinterpret_cast<const char*>(sym + 1); }

// The symbol table's record of a symbol.
struct SymbolRecord {
  const char* name;  // the symbol's name; the key of the table
  Symbol* symbol;
};

// Sets up the run's symbol table and symbol index, empty.
void symbols_start();
// Brings the symbol table up to date: a record chained for every symbol (see SymbolRecord).
void symbols_link();

Symbol* symbol_reference(const char* text);
ExprValue label_define(int pass, Symbol* sym, Section* s);
ExprValue symbol_value(Symbol* sym);
