// The listing (--listing) and the label file (--labels).
#pragma once
#include "assembly/name_table.h"
#include "base/diag.h"
#include "base/stream.h"
#include "parser/placements.h"
#include "source/lines.h"

// Every line the first pass read, in the order read (an included file's lines after the
// line of its INCLUDE, marked with their depth), each with its number in its file, the
// address where it starts, the bytes that pass 2 stored for the statements that begin on
// it (four a line, the rest on lines of their own) and its text with tabs expanded; each
// error message under the line it points at; then the sections and the labels.
// docs/language.md ("Listing") gives the layout. `placed` may be empty (a run stopped
// before pass 2).
void write_listing(OutStream& out, const LineLog& lines, const Placements& placed, const MessageLog& messages,
                   const NameTable* sections, const NameTable* symbols);
// The same in parts, for a writer that makes the listing while the run still writes its
// other outputs: the lines, with the messages so far; the messages logged after those
// (none of which points into the source: they come where the lines end); the tables.
void write_listing_lines(OutStream& out, const LineLog& lines, const Placements& placed, const MessageLog& messages);
void write_listing_messages(OutStream& out, const LoggedMessage* begin, const LoggedMessage* end);
void write_listing_tables(OutStream& out, const NameTable* sections, const NameTable* symbols);

// The defined symbols, one a line: "$XXXX name" (four upper-case hexadecimal digits),
// sorted by value, then by name.
void write_label_file(OutStream& out, const NameTable* symbols);
