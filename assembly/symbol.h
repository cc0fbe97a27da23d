// Symbols and labels.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/name_table.h"
#include "assembly/section.h"

// A symbol: the payload of a record of the symbol table; its whole name lies right behind.
struct Symbol {
  const char* name;
  uint16_t value;   // its address; 0 until a label defines it
  int16_t defined;  // 1 once a label has defined it in pass 1
};

// The module's record: the symbol table.
struct Symbols {
  NameTable* table = nullptr;  // a NameTable of SYMBOL_BUCKETS buckets
  Arena memory;                // the symbols and their names
  ~Symbols() { table_destroy(table); }
};

constexpr int SYMBOL_BUCKETS = 59;

// Creates the empty symbol table.
void symbols_start();
Symbol* symbol_reference(const char* text);
ExprValue label_define(int pass, Symbol* sym, Section* s);
ExprValue symbol_value(Symbol* sym);
