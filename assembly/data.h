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

// One-item lists, and a list with another appended (the items live as long as the
// statement, whose memory the string's copy shares).
DataList data_item_value(ExprValue v);
DataList data_item_string(const char* text);
DataList data_list_append(DataList list, DataList item);
// The data directives: pass 1 moves the location counter past the cells or the reserved
// bytes; pass 2 stores the cells (.DS stores nothing in either pass).
void directive_db(int pass, DataList list, Section* s);
void directive_dw(int pass, DataList list, Section* s);
void directive_dl(int pass, DataList list, Section* s);
void directive_ds(int pass, ExprValue size, Section* s);
