#include "base/diag.h"

#include <climits>
#include <cstdarg>

#include "base/run.h"

void fatal_stop(int status) { throw FatalStop{status}; }

void fatal(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  out_vprintf(g->err, fmt, ap);
  va_end(ap);
  fatal_stop(1);
}

void out_of_memory() { fatal("Out of Memory\n"); }

void report_error(const char* fmt, ...) {
  if (g->error_count < INT_MAX) g->error_count++;  // an endless source cannot wrap it
  va_list ap;
  va_start(ap, fmt);
  out_vprintf(g->err, fmt, ap);
  va_end(ap);
}

void note(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  out_vprintf(g->err, fmt, ap);
  va_end(ap);
}
