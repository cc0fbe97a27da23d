// End-of-run reports on standard output: the section dump and the symbol listing.
#pragma once
#include <cstdint>

#include "assembly/name_table.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/stream.h"

// The dump of every section in table order: a header line, "Print Array of N", the bytes
// eight to a row (two hexadecimal digits each, dashes between, then the bytes as text, '.'
// for those not printable), a last row of the bytes left over (padded; empty when there
// are none), and a closing line with the end and the size.
void dump_sections(OutStream& out, const NameTable* sections);
void dump_section(OutStream& out, const Section* s);
void dump_bytes(OutStream& out, const uint8_t* bytes, int32_t n);
// The symbol listing: a header line, then "NAME<tab>$xxxx" for every symbol in table order.
void list_symbols(OutStream& out, const NameTable* symbols);
void list_symbol(OutStream& out, const Symbol* sym);
