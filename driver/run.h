// The run-wide state of one assembly, in one place. A run creates it, every subsystem
// reads it through `g`, and it is destroyed when the run ends, so the whole assembler can
// run many times in one process.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assembly/arena.h"
#include "assembly/name_table.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "driver/io.h"
#include "parser/engine.h"
#include "parser/trace.h"
#include "source/reader.h"
#include "source/scanner.h"

constexpr int SYMBOL_BUCKETS = 59;
constexpr int SECTION_BUCKETS = 11;
constexpr int UNGET_CAPACITY = 1024;

// Where a run takes its input and puts its output.
struct RunIO {
  int stdin_fd = 0;
  const std::string* stdin_text = nullptr;  // when set, standard input is this text
  int stdout_fd = 1;
  int stderr_fd = 2;
  std::string* stdout_capture = nullptr;    // when set, standard output goes here
  std::string* stderr_capture = nullptr;    // when set, standard error goes here
  // When set, the binary load file goes here, also when the command line names no output
  // file (in-process runs of a source held in memory); no output file is created.
  std::string* xex_capture = nullptr;
  // Called between the two passes (tests).
  std::function<void()> between_passes;
  // Pass 2 reads and parses the source again even where pass 1's trace could stand for it
  // (a check of the trace: both ways must give the same run).
  bool parse_twice = false;
  // When set, told whether pass 2 replayed pass 1's parse (tests).
  bool* replayed = nullptr;
  // Largest section buffer a run will allocate; a larger section stops the run.
  int64_t section_limit = int64_t{1} << 24;
  // Largest record of pass 1's parse kept for pass 2 (bytes); beyond it pass 2 reads and
  // parses the source again.
  size_t trace_limit = size_t{64} << 20;
};

struct Run {
  Region region;  // first: the last to go, after everything that lives in it
  RunIO io;
  OutStream out;  // standard output
  OutStream err;  // standard error
  OutStream xex;  // binary load file
  bool xex_open = false;
  std::string output_name;

  int pass = 0;
  bool debug = false;
  int error_count = 0;  // errors reported; a completed run with any exits 1

  Reader reader;
  Scanner scanner;
  Parser parser;
  NameTable* sections = nullptr;
  Section* current_section = nullptr;
  SrcPos statement_pos{1, 1};  // first token of the statement whose action runs

  Arena records;     // tables, symbols, sections, names, buffers: the whole run
  Arena statement;   // strings and data lists of the statement being parsed

  std::string stdin_text;  // standard input as pass 1 read it, for pass 2
  bool stdin_saved = false;

  // The symbol that each identifier of pass 1 named, in source order. Pass 2 reads the
  // same identifiers in the same order, so it takes each from here when the names agree,
  // and looks names up again from the first one that does not.
  std::vector<Symbol*> references;
  std::vector<Symbol*> symbol_list;  // every symbol, in the order pass 1 created them
  NameIndex symbol_index;            // every symbol by name
  Arena symbol_memory;               // the symbols themselves
  size_t reference_next = 0;
  bool references_valid = true;

  Trace trace;                      // pass 1's parse, for pass 2
  LearnedFeeds learned;             // the engine's feeds, learned in pass 1
  TokenBatch batch;                 // common tokens read ahead in pass 1
  std::vector<InputRecord> inputs;  // the files that pass 1 read, in the order it opened them

  // Every member starts as its initializer says; the stream buffers are not cleared.
  Run() {
    records.in_region = true;
    symbol_memory.in_region = true;
  }
  ~Run();
};

extern Run* g;

// A fatal stop: unwinds to the run's entry point, which returns the status.
struct FatalStop {
  int status;
};

[[noreturn]] void fatal_stop(int status);
// Writes the message on standard error and stops with status 1.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void out_of_memory();
// Writes the message on standard error and counts it as an error for the exit status.
void report_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes the message on standard error without counting it (traces, progress).
void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A write to a stream failed.
void stream_failed(OutStream& s);

// Runs the whole assembler with the command-line arguments (program name excluded) and
// returns the exit status.
int xexasm_run(const std::vector<std::string>& args, const RunIO& io);
