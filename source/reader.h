// Source reader: one character at a time from the current input, with push-back and the
// stack of include files that are suspended while an included file is read. Every input is
// read as text: a carriage return before a line feed is dropped and a byte $1A ends it.
// The reader counts the line and column of every character it hands out.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int END_OF_INPUT = -1;
constexpr int INCLUDE_CAPACITY = 20;

struct SrcPos {
  int32_t line;
  int32_t col;
};

struct InputStream {
  std::string name;       // as given: source path, include name, or empty for standard input
  bool is_include = false;
  bool is_stdin = false;
  int fd = -1;            // -1 for a stream held in memory
  bool ended = false;     // end of input met (or $1A)
  std::unique_ptr<unsigned char[]> block;  // read buffer of a file stream
  size_t block_size = 0;
  const unsigned char* p = nullptr;  // next byte
  const unsigned char* end = nullptr;
  SrcPos pos{1, 1};       // position of the next character
  int record = -1;        // what pass 1 read of this file: index in the run's inputs
  ~InputStream();
};

struct UngetSlot {
  int c;
  SrcPos pos;
};

struct Reader {
  int32_t unget_capacity = 0;
  int32_t unget_count = 0;
  std::vector<UngetSlot> unget;
  std::vector<std::unique_ptr<InputStream>> include_stack;  // suspended streams
  int32_t include_capacity = 0;
  std::unique_ptr<InputStream> current;
  SrcPos char_pos{1, 1};  // position of the character most recently handed out
};

void reader_init(int capacity);
int reader_getc();
int reader_getc_slow(Reader& r);

// The common case, inline: no character pushed back and the next byte of the current
// block is neither a carriage return nor $1A.
inline int reader_getc_fast(Reader& r) {
  if (r.unget_count == 0) {
    InputStream& in = *r.current;
    if (in.p < in.end) {
      int c = *in.p;
      if (c != '\r' && c != 0x1A) {
        in.p++;
        r.char_pos = in.pos;
        if (c == '\n') {
          in.pos.line++;
          in.pos.col = 1;
        } else if (c == '\t') {
          in.pos.col += 8 - (in.pos.col - 1) % 8;
        } else {
          in.pos.col++;
        }
        return c;
      }
    }
  }
  return reader_getc_slow(r);
}
void reader_ungetc(int c);
int include_depth();
// The include switch: writes the name on standard output, suspends the current input and
// makes the named file current (fatal stops when 20 are suspended or it cannot be opened).
void include_enter(const char* name);
// Back from a finished included file: closes it and resumes the suspended stream.
void include_return();

// Opens the main source for a pass (path, or standard input when path is null). Returns
// false when the file cannot be opened or read.
bool reader_open_source(const char* path);
void reader_close_source();
