// Diagnostics: every message is one formatted line on standard error. A fatal stop writes
// its line and unwinds to the run's entry point, which returns the status, so that the
// whole assembler can run many times in one process (tests, fuzzing).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SrcPos;

struct FatalStop {
  int status;
};

// Unwinds to the run's entry point, which returns `status`: every fatal stop ends here.
[[noreturn]] void fatal_stop(int status);
// Writes the message on standard error and stops with status 1.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void out_of_memory();
// Writes the message on standard error and counts it as an error for the exit status.
void report_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same for a message about a place in the source. Written as `fmt` gives it or, with
// GNU messages, as "FILE:LINE:COL: error: TEXT", where TEXT is the message without its own
// position (a format's closing ", line %d, column %d" is left out, and so are its line
// feeds; the arguments stay as they are). With GNU messages, a message of report_error or
// fatal reads "xexasm: error: TEXT".
void report_error_at(const SrcPos& at, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// A message about a place in the source, written as report_error_at writes it; then stops
// with status 1.
[[noreturn]] void fatal_at(const SrcPos& at, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Every error message of the run, as written, with the place it points at (for the
// listing); kept only when Run::messages points here.
struct LoggedMessage {
  bool placed;  // it points into the source, at `line` of `input` (line 0: not known, as in
                // pass 2's replay without positions; the statement numbered `statement`)
  int32_t input;
  int32_t line;
  int32_t col;
  int pass;
  uint32_t statement;  // the statements made before it in its pass
  std::string text;    // as written on standard error, without its line feeds
};
struct MessageLog {
  std::vector<LoggedMessage> list;
};
// Writes the message on standard error without counting it (traces, progress lines);
// nothing in a quiet run.
void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
