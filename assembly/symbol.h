// Symbols and labels.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/section.h"

struct Symbol {
  const char* name;  // whole name; the key of the symbol table
  uint16_t value;
  int16_t defined;
  uint32_t number;   // order of creation: the run's symbol_list holds it there
};

Symbol* symbol_reference(const char* text);
ExprValue label_define(int pass, Symbol* sym, Section* s);
ExprValue symbol_value(Symbol* sym);
