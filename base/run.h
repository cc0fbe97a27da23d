// The run's handle: what every layer may read of the run in progress (its streams, the
// pass number, the debug flag, the error count, the memory of the statement being parsed)
// and where each module finds its own record. The driver makes one Run per assembly and
// points each module's record into it; nothing outlives the run, so the assembler can run
// many times in one process.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "base/arena.h"
#include "base/stream.h"

struct Reader;
struct Scanner;
struct Sections;
struct Symbols;
struct Parser;
struct LineLog;
struct Placements;
struct MessageLog;

// A position in the source: line and column from 1 (a tab moves to the next tab stop), in
// the input numbered `input` (InputNames).
struct SrcPos {
  int32_t line;
  int32_t col;
  int32_t input = 0;
};

// The inputs of a pass, numbered from 0 (the source) in the order they are opened, and the
// name each was opened by (as on the command line or in the INCLUDE). The names are kept
// only when messages name their file or a listing is written; memory follows the distinct
// names, not the includes entered.
struct InputNames {
  bool keep = false;
  std::vector<uint32_t> name_of;  // by input number: its index in `names`
  std::vector<std::string> names;
  std::unordered_map<std::string, uint32_t> index;
};

struct Run {
  OutStream out;  // standard output: progress lines and the reports
  OutStream err;  // standard error: every diagnostic, one write per line
  int pass = 0;   // 0 before pass 1, then 1 or 2; set by the driver only
  bool debug = false;  // -D: the scanner traces every token
  bool quiet = false;  // -q: notes (traces, progress lines) are not written
  int error_count = 0;  // errors reported; a completed run with any exits 1
  Arena statement;      // strings and data lists of the statement being parsed
  SrcPos statement_pos{1, 1};  // first token of the statement whose action runs
  // The operand that an expression's message is about (a name not defined, a divisor 0).
  SrcPos operand_pos{1, 1};
  bool gnu_messages = false;  // --messages=gnu: FILE:LINE:COL: error: TEXT
  InputNames inputs;
  // Kept for a listing when one is asked for (null otherwise): pass 1's lines, pass 2's
  // placements, and every error message.
  LineLog* lines = nullptr;
  Placements* placements = nullptr;
  MessageLog* messages = nullptr;
  uint32_t statement_number = 0;  // statements made so far in the pass (with a listing)

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
