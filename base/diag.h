// Diagnostics: every message is one formatted line on standard error. A fatal stop writes
// its line and unwinds to the run's entry point, which returns the status, so that the
// whole assembler can run many times in one process (tests, fuzzing).
#pragma once

struct FatalStop {
  int status;
};

[[noreturn]] void fatal_stop(int status);
// Writes the message on standard error and stops with status 1.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void out_of_memory();
// Writes the message on standard error and counts it as an error for the exit status.
void report_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes the message on standard error without counting it (traces, progress lines).
void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
