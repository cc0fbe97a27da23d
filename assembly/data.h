// Data directives: .DB, .DW, .DL and .DS.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/section.h"

enum DataItemKind : int32_t { DATA_VALUE = 0, DATA_STRING = 1 };

struct DataItem {
  int32_t kind;
  DataItem* next;
  ExprValue value;    // value item
  const char* text;   // string item, NUL-terminated
};

// A list as the parser keeps it: its first item and, for appending, its last.
struct DataList {
  DataItem* head;
  DataItem* tail;
};

DataList data_item_value(ExprValue v);
DataList data_item_string(const char* text);
DataList data_list_append(DataList list, DataList item);
void directive_db(int pass, DataList list, Section* s);
void directive_dw(int pass, DataList list, Section* s);
void directive_dl(int pass, DataList list, Section* s);
void directive_ds(int pass, ExprValue size, Section* s);
