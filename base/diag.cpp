#include "base/diag.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/run.h"

void fatal_stop(int status) { throw FatalStop{status}; }

namespace {

constexpr char POSITION_SUFFIX[] = ", line %d, column %d\n";
constexpr char PROGRAM_PREFIX[] = "xexasm: ";  // begins the command line's own messages

// A formatted text: in `small` when it fits, else in `big`.
struct Formatted {
  char small[512];
  std::string big;
  const char* text = small;
  size_t length = 0;
  void vformat(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) n = 0, small[0] = '\0';
    length = static_cast<size_t>(n);
    text = small;
    if (length >= sizeof small) {
      big.assign(length + 1, '\0');
      std::vsnprintf(big.data(), big.size(), fmt, ap);
      text = big.data();
    }
  }
  [[gnu::format(printf, 2, 3)]] void format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vformat(fmt, ap);
    va_end(ap);
  }
};

// The name of an input for a message: as it was opened, "<stdin>" for standard input.
const char* input_name(int32_t input) {
  const InputNames& n = g->inputs;
  if (input < 0 || static_cast<size_t>(input) >= n.name_of.size()) return "?";
  return n.names[n.name_of[static_cast<size_t>(input)]].c_str();
}

// A message line for the listing, without its line feeds.
void log_message(const SrcPos* at, const char* line, size_t n) {
  while (n > 0 && line[n - 1] == '\n') n--;
  while (n > 0 && line[0] == '\n') line++, n--;
  try {
    g->messages->list.push_back(LoggedMessage{at != nullptr, at ? at->input : 0, at ? at->line : 0, at ? at->col : 0,
                                              g->pass, g->statement_number, std::string(line, n)});
  } catch (const std::bad_alloc&) {
    // The listing goes without it; the message itself is written.
  }
}

// Writes one message: as its format gives it, or in the GNU form. Only with GNU messages
// or a listing is it formatted here; else exactly as before.
void write_message(const SrcPos* at, const char* fmt, va_list ap) {
  if (!g->gnu_messages && !g->messages) return out_vprintf(g->err, fmt, ap);
  Formatted line;
  if (!g->gnu_messages) {
    line.vformat(fmt, ap);
  } else {
    // The text without the position that the plain form carries, and without line feeds.
    char text_fmt[256];
    size_t n = std::strlen(fmt);
    const char* f = fmt;
    if (n < sizeof text_fmt) {
      size_t suffix = sizeof POSITION_SUFFIX - 1;
      if (n >= suffix && std::strcmp(fmt + n - suffix, POSITION_SUFFIX) == 0) n -= suffix;
      while (n > 0 && fmt[n - 1] == '\n') n--;
      size_t from = 0;
      while (from < n && fmt[from] == '\n') from++;
      std::memcpy(text_fmt, fmt + from, n - from);
      text_fmt[n - from] = '\0';
      f = text_fmt;
    }
    Formatted text;
    text.vformat(f, ap);
    const char* said = text.text;
    if (std::strncmp(said, PROGRAM_PREFIX, sizeof PROGRAM_PREFIX - 1) == 0) said += sizeof PROGRAM_PREFIX - 1;
    if (at) line.format("%s:%d:%d: error: %s\n", input_name(at->input), at->line, at->col, said);
    else line.format("%serror: %s\n", PROGRAM_PREFIX, said);
  }
  out_write(g->err, line.text, line.length);
  if (g->messages) log_message(at, line.text, line.length);
}

}  // namespace

void fatal(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  write_message(nullptr, fmt, ap);
  va_end(ap);
  fatal_stop(1);
}

void fatal_at(const SrcPos& at, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  write_message(&at, fmt, ap);
  va_end(ap);
  fatal_stop(1);
}

void out_of_memory() { fatal("Out of Memory\n"); }

void report_error(const char* fmt, ...) {
  if (g->error_count < INT_MAX) g->error_count++;  // an endless source cannot wrap it
  va_list ap;
  va_start(ap, fmt);
  write_message(nullptr, fmt, ap);
  va_end(ap);
}

void report_error_at(const SrcPos& at, const char* fmt, ...) {
  if (g->error_count < INT_MAX) g->error_count++;
  va_list ap;
  va_start(ap, fmt);
  write_message(&at, fmt, ap);
  va_end(ap);
}

void note(const char* fmt, ...) {
  if (g->quiet) return;
  va_list ap;
  va_start(ap, fmt);
  out_vprintf(g->err, fmt, ap);
  va_end(ap);
}
