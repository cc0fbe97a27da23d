#include "base/stream.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "base/diag.h"

void out_init(OutStream& s, int fd, std::string* capture, bool line_flush) {
  s.fd = fd;
  s.capture = capture;
  s.line_flush = line_flush;
  s.failed = false;
  s.discard = false;
  s.len = 0;
  s.fail_message = nullptr;
  s.fail_reported = false;
}

bool out_flush(OutStream& s) {
  if (s.len == 0) return !s.failed;
  if (s.discard) {
    s.len = 0;
    return !s.failed;
  }
  if (s.failed) {
    s.len = 0;
    return false;
  }
  if (s.capture) {
    s.capture->append(s.buf, s.len);
    s.len = 0;
    return true;
  }
  const char* p = s.buf;
  size_t left = s.len;
  s.len = 0;
  while (left > 0) {
    ssize_t w = ::write(s.fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      s.failed = true;
      return false;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  return true;
}

// A failed write is reported once, where the stream says so; what follows is dropped.
void stream_failed(OutStream& s) {
  if (!s.fail_message || s.fail_reported) return;
  s.fail_reported = true;
  report_error("%s", s.fail_message);
}

// A full buffer is written out; a failure drops it.
static void out_make_room(OutStream& s, size_t n) {
  if (s.len + n > OutStream::CAPACITY) {
    if (!out_flush(s)) stream_failed(s);
  }
}

char* out_reserve(OutStream& s, size_t n) {
  out_make_room(s, n);
  return s.buf + s.len;
}

void out_write(OutStream& s, const char* data, size_t n) {
  while (n > 0) {
    out_make_room(s, n < OutStream::CAPACITY ? n : OutStream::CAPACITY);
    size_t room = OutStream::CAPACITY - s.len;
    size_t k = n < room ? n : room;
    std::memcpy(s.buf + s.len, data, k);
    s.len += k;
    data += k;
    n -= k;
  }
  if (s.line_flush && !out_flush(s)) stream_failed(s);
}

void out_putc(OutStream& s, char c) {
  if (s.len >= OutStream::CAPACITY) out_make_room(s, 1);
  s.buf[s.len++] = c;
  if (s.line_flush && c == '\n' && !out_flush(s)) stream_failed(s);
}

void out_vprintf(OutStream& s, const char* fmt, va_list ap) {
  char small[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out_write(s, small, static_cast<size_t>(n));
    return;
  }
  // Long names make long lines; format them whole.
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  out_write(s, big.data(), static_cast<size_t>(n));
}

void out_printf(OutStream& s, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  out_vprintf(s, fmt, ap);
  va_end(ap);
}
