// Source reader and include stack.
#include "source/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/run.h"
#include "parser/trace.h"

static constexpr size_t BLOCK = 1 << 16;

InputStream::~InputStream() {
  if (fd >= 0 && !is_stdin) ::close(fd);
}

void reader_init(int capacity) {
  Reader& r = g->reader;
  r.unget_capacity = capacity;
  r.unget_count = 0;
  r.unget.assign(static_cast<size_t>(capacity), UngetSlot{0, {0, 0}});
  r.include_capacity = INCLUDE_CAPACITY;
  r.include_stack.clear();
  r.include_stack.reserve(INCLUDE_CAPACITY);
}

int include_depth() { return static_cast<int>(g->reader.include_stack.size()); }

[[noreturn]] static void read_failed(const InputStream& in) {
  if (in.is_include) fatal("Could not open Include File %s\n", in.name.c_str());
  if (in.is_stdin) fatal("Could not read standard input\n");
  fatal("Unable to Open %s for input\n", in.name.c_str());
}

// What pass 1 read of a file, for the check before pass 2 (a read of 0 bytes: the end).
static void record_read(const InputStream& in, const unsigned char* bytes, ssize_t n) {
  if (in.record < 0) return;
  InputRecord& rec = g->inputs[static_cast<size_t>(in.record)];
  input_record_bytes(rec, bytes, static_cast<size_t>(n));
  if (n == 0) rec.at_end = true;
}

// Reads the next block of a file stream, keeping the bytes not yet consumed (at most one
// carriage return waiting for its line feed). Returns false at the end of the file.
static bool refill(InputStream& in) {
  if (in.fd < 0) return false;
  // The kept bytes are moved by offset: growing the block may move it.
  size_t keep = static_cast<size_t>(in.end - in.p);
  size_t from = static_cast<size_t>(in.p - in.block.get());
  if (in.block_size < BLOCK + keep) {
    auto bigger = std::make_unique_for_overwrite<unsigned char[]>(BLOCK + keep);
    std::memcpy(bigger.get(), in.block.get() + from, keep);
    in.block = std::move(bigger);
    in.block_size = BLOCK + keep;
    from = 0;
  }
  unsigned char* base = in.block.get();
  std::memmove(base, base + from, keep);
  ssize_t n;
  do {
    n = ::read(in.fd, base + keep, BLOCK);
  } while (n < 0 && errno == EINTR);
  if (n < 0) read_failed(in);
  if (in.is_stdin && n > 0)
    g->stdin_text.append(reinterpret_cast<const char*>(base + keep), static_cast<size_t>(n));
  record_read(in, base + keep, n);
  in.p = base;
  in.end = base + keep + n;
  return n > 0;
}

static inline void advance(SrcPos& pos, int c) {
  if (c == '\n') {
    pos.line++;
    pos.col = 1;
  } else if (c == '\t') {
    pos.col += 8 - (pos.col - 1) % 8;
  } else {
    pos.col++;
  }
}

// Next character of the current input, as text: CR LF gives LF, $1A ends the input.
static int input_getc(InputStream& in) {
  if (in.ended) return END_OF_INPUT;
  if (in.p == in.end && !refill(in)) {
    in.ended = true;
    return END_OF_INPUT;
  }
  int c = *in.p++;
  if (c == 0x1A) {
    in.ended = true;
    in.p--;
    return END_OF_INPUT;
  }
  if (c == '\r') {
    if (in.p == in.end) {
      in.p--;  // keep the carriage return while the next block is read
      bool more = refill(in);
      in.p++;
      if (!more) return c;
    }
    if (*in.p == '\n') c = *in.p++;
  }
  return c;
}

int reader_getc() { return reader_getc_fast(g->reader); }

int reader_getc_slow(Reader& r) {
  if (r.unget_count > 0) {
    const UngetSlot& s = r.unget[static_cast<size_t>(--r.unget_count)];
    r.char_pos = s.pos;
    return s.c;
  }
  InputStream& in = *r.current;
  r.char_pos = in.pos;
  int c = input_getc(in);
  if (c != END_OF_INPUT) advance(in.pos, c);
  return c;
}

void reader_ungetc(int c) {
  Reader& r = g->reader;
  if (r.unget_count >= r.unget_capacity) fatal("Ungetbuf overflow\n");
  r.unget[static_cast<size_t>(r.unget_count++)] = UngetSlot{c, r.char_pos};
}

// Opens a file for reading as text; null when it cannot be opened, is a directory, or its
// first read fails.
static std::unique_ptr<InputStream> open_file(const char* name, bool is_include) {
  auto in = std::make_unique<InputStream>();
  in->name = name;
  in->is_include = is_include;
  int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  in->fd = fd;
  in->block = std::make_unique_for_overwrite<unsigned char[]>(BLOCK);
  in->block_size = BLOCK;
  in->p = in->end = in->block.get();
  ssize_t n;
  do {
    n = ::read(fd, in->block.get(), BLOCK);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return nullptr;
  in->end = in->block.get() + n;
  if (g->pass == 1) {
    // Pass 2 may stand on pass 1's parse if the file still holds these bytes.
    in->record = static_cast<int>(g->inputs.size());
    InputRecord& rec = g->inputs.emplace_back();
    rec.name = name;
    rec.regular = S_ISREG(st.st_mode);
    record_read(*in, in->block.get(), n);
  }
  return in;
}

bool reader_open_source(const char* path) {
  Reader& r = g->reader;
  r.unget_count = 0;
  if (path) {
    r.current = open_file(path, false);
    return r.current != nullptr;
  }
  auto in = std::make_unique<InputStream>();
  in->is_stdin = true;
  if (g->io.stdin_text) {
    in->p = reinterpret_cast<const unsigned char*>(g->io.stdin_text->data());
    in->end = in->p + g->io.stdin_text->size();
  } else if (g->stdin_saved) {
    // Pass 2 reads again the text that pass 1 read.
    in->p = reinterpret_cast<const unsigned char*>(g->stdin_text.data());
    in->end = in->p + g->stdin_text.size();
  } else {
    in->fd = g->io.stdin_fd;
    in->block = std::make_unique_for_overwrite<unsigned char[]>(BLOCK);
    in->block_size = BLOCK;
    in->p = in->end = in->block.get();
    g->stdin_saved = true;
  }
  r.current = std::move(in);
  return true;
}

void reader_close_source() {
  Reader& r = g->reader;
  r.current.reset();
  r.include_stack.clear();
}

void include_enter(const char* name) {
  Reader& r = g->reader;
  out_printf(g->out, "%s\n", name);
  if (g->trace.recording) trace_include(name);
  if (static_cast<int>(r.include_stack.size()) >= r.include_capacity) fatal("File Include Overflow\n");
  std::unique_ptr<InputStream> in = open_file(name, true);
  if (!in) fatal("Could not open Include File %s\n", name);
  r.include_stack.push_back(std::move(r.current));
  r.current = std::move(in);
}

void include_return() {
  Reader& r = g->reader;
  r.current = std::move(r.include_stack.back());
  r.include_stack.pop_back();
}
