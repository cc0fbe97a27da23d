// End-of-run reports on standard output: the section dump and the symbol listing.
#pragma once
#include <cstdint>

#include "assembly/name_table.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/stream.h"

void dump_sections(OutStream& out, const NameTable* sections);
void dump_section(OutStream& out, const Section* s);
void dump_bytes(OutStream& out, const uint8_t* bytes, int32_t n);
void list_symbols(OutStream& out, const NameTable* symbols);
void list_symbol(OutStream& out, const Symbol* sym);
