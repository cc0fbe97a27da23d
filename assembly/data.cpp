// Data directives.
#include "assembly/data.h"

#include <cstring>

#include "base/diag.h"
#include "base/run.h"

// A new item of the list, in the statement's memory.
static DataItem* item_new(int32_t kind) {
  DataItem* item = static_cast<DataItem*>(arena_alloc(g->statement, sizeof(DataItem)));
  item->kind = kind;
  return item;
}

DataList data_item_value(ExprValue v) {
  DataItem* item = item_new(DATA_VALUE);
  item->value = v;
  return DataList{item, item};
}

DataList data_item_string(const char* text) {
  DataItem* item = item_new(DATA_STRING);
  item->text = arena_strdup(g->statement, text, std::strlen(text));
  return DataList{item, item};
}

DataList data_list_append(DataList list, DataList item) {
  list.tail->next = item.head;
  list.tail = item.tail;
  return list;
}

// Moves the location counter by n bytes, wrapping modulo 2^32.
static inline void advance(Section* s, int32_t n) {
  s->location_counter = static_cast<int32_t>(static_cast<uint32_t>(s->location_counter) + static_cast<uint32_t>(n));
}

// .DB with a cell width of 1, .DW of 2, .DL of 4: a value goes low byte first; a string
// character fills its cell with its byte, then zeros.
static void directive_cells(int pass, DataList list, Section* s, int width) {
  static const char line[] = "Generate Data Byte\n";
  out_write(g->out, line, sizeof line - 1);
  s = section_for_statement(s);
  for (const DataItem* item = list.head; item; item = item->next) {
    if (item->kind == DATA_VALUE) {
      if (pass == 1) {
        advance(s, width);
        continue;
      }
      uint32_t v = static_cast<uint32_t>(item->value.value);
      for (int k = 0; k < width; k++) section_store(s, static_cast<uint8_t>(v >> (8 * k)));
      continue;
    }
    size_t n = std::strlen(item->text);
    if (pass == 1) {
      advance(s, static_cast<int32_t>(static_cast<uint32_t>(n) * static_cast<uint32_t>(width)));
      continue;
    }
    for (size_t i = 0; i < n; i++) {
      section_store(s, static_cast<uint8_t>(item->text[i]));
      for (int k = 1; k < width; k++) section_store(s, 0);
    }
  }
}

void directive_db(int pass, DataList list, Section* s) { directive_cells(pass, list, s, 1); }
void directive_dw(int pass, DataList list, Section* s) { directive_cells(pass, list, s, 2); }
void directive_dl(int pass, DataList list, Section* s) { directive_cells(pass, list, s, 4); }

void directive_ds(int pass, ExprValue size, Section* s) {
  (void)pass;
  s = section_for_statement(s);
  advance(s, size.value);
}
