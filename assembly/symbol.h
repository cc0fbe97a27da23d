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
  bool predefined;  // its value was given before pass 1 (no label may define it)
};

// A predefined name (--define, --names): a value known before pass 1. The name enters the
// symbol table, as a defined symbol, when pass 1 first meets it.
struct PredefinedName {
  const char* name;
  uint16_t value;
};

// A guess at a lookup: while `text` holds the name being looked up (the text of the token
// being fed), symbol_reference(text) returns `symbol` when that symbol has the name, and else
// looks the name up and sets `symbol` to what it found. Whoever sets `text` (the fast layer,
// which numbers the names of pass 1 on another thread) clears it before the text changes.
struct NameHint {
  const char* text = nullptr;
  Symbol* symbol = nullptr;
};

// The module's record: the symbol table, and the predefined names beside it.
struct Symbols {
  NameTable* table = nullptr;       // a NameTable of SYMBOL_BUCKETS buckets
  NameTable* predefined = nullptr;  // PredefinedName records; null while there are none
  Arena memory;                     // the symbols, the predefined names and their names
  NameHint hint;
  ~Symbols() {
    table_destroy(table);
    table_destroy(predefined);
  }
};

constexpr int SYMBOL_BUCKETS = 59;
constexpr int PREDEFINED_BUCKETS = 61;

// Creates the empty symbol table.
void symbols_start();
// Gives `name` a value before pass 1; a later call for the same name replaces it.
void symbol_predefine(const char* name, uint16_t value);
// The symbol of a name the source uses: pass 1 creates it the first time ("Added NAME"
// on standard output); pass 2 only finds it, and reports a name that pass 1 never met.
Symbol* symbol_reference(const char* text);
// A label at the location counter of the current section: pass 1 gives its symbol that
// address, pass 2 reports a different one as a phase error. A predefined name keeps its
// value. The result is the symbol's value.
ExprValue label_define(int pass, Symbol* sym, Section* s);
// A name's value in an expression; in pass 2 a name that no label defined is reported.
ExprValue symbol_value(Symbol* sym);
