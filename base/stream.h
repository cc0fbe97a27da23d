// Output streams: standard output (buffered), standard error (one write per line) and the
// binary load file. A stream writes to a file descriptor, or appends to a string when the
// whole assembler runs in process (tests, fuzzing).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

struct OutStream {
  int fd = -1;                    // descriptor written to, or -1
  std::string* capture = nullptr; // when set, bytes are appended here instead
  bool line_flush = false;        // flush after every formatted line (standard error)
  bool failed = false;            // a write failed; nothing more is attempted
  bool discard = false;           // what is written is dropped (standard output of a quiet run)
  // The error a failed write reports, once, as soon as it shows (standard output); the run
  // goes on without the stream. Null for a stream whose failure is reported when it is
  // closed (the load file), or nowhere (standard error).
  const char* fail_message = nullptr;
  bool fail_reported = false;
  size_t len = 0;
  static constexpr size_t CAPACITY = 1 << 16;
  char buf[CAPACITY];
};

// A stream on `fd` (or appending to `capture` when set), empty and not failed; with
// `line_flush` every line is written as soon as it ends.
void out_init(OutStream& s, int fd, std::string* capture, bool line_flush);
// Writes everything buffered; returns false when a write failed (now or before).
bool out_flush(OutStream& s);
// Buffered writes: the bytes, one character, a formatted text of any length. A stream that
// flushes by lines writes out what it holds when a line ends (out_write: after each call).
void out_write(OutStream& s, const char* data, size_t n);
void out_putc(OutStream& s, char c);
void out_printf(OutStream& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void out_vprintf(OutStream& s, const char* fmt, va_list ap);
// Room for n more bytes in the buffer, flushing first when needed (n <= CAPACITY).
char* out_reserve(OutStream& s, size_t n);
// The n bytes written into the room out_reserve gave are now the stream's.
inline void out_commit(OutStream& s, size_t n) { s.len += n; }
// A write to the stream failed: the stream's error, the first time.
void stream_failed(OutStream& s);
