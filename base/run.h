// The run's handle: what every layer may read of the run in progress (its streams, the
// pass number, the debug flag, the error count, the memory of the statement being parsed)
// and where each module finds its own record. The driver makes one Run per assembly and
// points each module's record into it; nothing outlives the run, so the assembler can run
// many times in one process.
#pragma once
#include "base/arena.h"
#include "base/stream.h"

struct Reader;
struct Scanner;
struct Sections;
struct Symbols;
struct Parser;

// A position in the source: line and column from 1 (a tab moves to the next tab stop).
struct SrcPos {
  int32_t line;
  int32_t col;
};

struct Run {
  OutStream out;  // standard output: progress lines and the reports
  OutStream err;  // standard error: every diagnostic, one write per line
  int pass = 0;   // 0 before pass 1, then 1 or 2; set by the driver only
  bool debug = false;  // -D: the scanner traces every token
  int error_count = 0;  // errors reported; a completed run with any exits 1
  Arena statement;      // strings and data lists of the statement being parsed
  SrcPos statement_pos{1, 1};  // first token of the statement whose action runs

  // Each module's own record, reached only by that module (and by the fast layer, which
  // works on the core's records).
  Reader* reader = nullptr;
  Scanner* scanner = nullptr;
  Sections* sections = nullptr;
  Symbols* symbols = nullptr;
  Parser* parser = nullptr;
};

// The run in progress.
extern Run* g;
