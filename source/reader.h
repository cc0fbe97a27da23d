// Source reader: one character at a time from the current input, with push-back and the
// stack of include files that are suspended while an included file is read. Every input is
// read as text: a carriage return before a line feed is dropped and a byte $1A ends it.
// The reader counts the line and column of every character it hands out.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "base/run.h"

constexpr int END_OF_INPUT = -1;
constexpr int INCLUDE_CAPACITY = 20;
constexpr int POSITION_LIMIT = INT32_MAX;  // the counters stop here

// The position after character c: a line feed starts the next line at column 1, a tab
// moves to the next tab stop (columns 1-8 go to 9, 9-16 to 17, ...), any other character
// moves one column on. Counters that reach the limit stay there.
inline void advance_position(SrcPos& pos, int c) {
  if (c == '\n') {
    if (pos.line < POSITION_LIMIT) pos.line++;
    pos.col = 1;
  } else if (c == '\t') {
    int32_t step = 8 - (pos.col - 1) % 8;
    pos.col = pos.col > POSITION_LIMIT - step ? POSITION_LIMIT : pos.col + step;
  } else if (pos.col < POSITION_LIMIT) {
    pos.col++;
  }
}

// What the first pass read from a name that is not a regular file (a pipe, a FIFO, a
// device), so that the second pass reads the same text instead of opening it again: one
// entry per opening, in the order of opening; equal texts of openings in a row share one
// entry, so that memory follows what was read, not how often.
struct KeptRead {
  std::string text;
  uint64_t times = 1;  // openings in a row that read this text
  bool done = false;   // its stream is closed: the text is whole
};
struct KeptInput {
  std::deque<KeptRead> reads;  // a deque: a stream appends to its entry while others are added
  size_t next = 0;             // the second pass's next entry
  uint64_t taken = 0;          // openings of the second pass served from it so far
};

// A file the run writes: the load file, or the output file of an earlier argument (left
// empty at the end). An input that is the same file (device and inode) marks it read, and
// the run then leaves its bytes alone; reading the load file is an error.
struct WrittenFile {
  uint64_t dev = 0;
  uint64_t ino = 0;
  std::string name;
  bool is_output = false;  // the load file's
  bool read = false;
};

// One input: a file read in blocks, or a text held in memory (standard input and any other
// input that is not a regular file, in pass 2).
struct InputStream {
  std::string name;       // as given: source path, include name, or empty for standard input
  std::string path;       // the path opened: the name, or where the include search found it
  bool is_include = false;
  bool is_stdin = false;
  int fd = -1;            // -1 for a stream held in memory
  bool ended = false;     // end of input met (or $1A)
  std::vector<unsigned char> block;  // read buffer of a file stream
  const unsigned char* p = nullptr;  // next byte
  const unsigned char* end = nullptr;
  SrcPos pos{1, 1};       // position of the next character
  std::string* keep = nullptr;    // where the bytes read are kept for pass 2, if they are
  KeptInput* kept = nullptr;      // the entry list that `keep` belongs to (null for stdin)
  size_t kept_index = 0;
  int watch_id = -1;      // the watch's own number for the stream
  int32_t log_text = -1;  // the listing's copy of the bytes read (LineLog::texts), or -1
  ~InputStream();
};

// Told of every file the reader opens, of every block it reads from one, and of its close
// (the fast layer's check that pass 2 may stand on pass 1's parse). Null when nobody asks.
struct ReaderWatch {
  void* context = nullptr;  // handed to each
  void (*opened)(void* context, InputStream& in, bool regular) = nullptr;
  void (*read)(void* context, InputStream& in, const unsigned char* bytes, size_t n) = nullptr;
  void (*closed)(void* context, InputStream& in) = nullptr;
};

struct UngetSlot {
  int c;
  SrcPos pos;
};

struct Reader {
  int32_t unget_capacity = 0;
  std::vector<UngetSlot> unget;  // pushed-back characters, the last on top
  std::vector<std::unique_ptr<InputStream>> include_stack;  // suspended streams
  std::unique_ptr<InputStream> current;
  SrcPos char_pos{1, 1};  // position of the character most recently handed out
  int stdin_fd = 0;
  const std::string* stdin_given = nullptr;  // when set, standard input is this text
  std::string stdin_text;  // standard input as pass 1 read it, for pass 2
  bool stdin_saved = false;
  int source_opens = 0;    // passes begun: from the second on, kept inputs are read again
  int32_t inputs_opened = 0;  // inputs opened in this pass: the next one's number
  std::map<std::string, KeptInput> kept;  // inputs that are not regular files, by name
  std::vector<WrittenFile> written;       // files the run writes
  std::vector<std::string> include_dirs;  // where else an INCLUDE is looked for (-I), in order
  std::vector<std::string> included;      // paths that pass 1's INCLUDEs opened, once each, in order
  std::set<std::string> included_seen;    // the same paths, to find them
  ReaderWatch watch;
};

// The reader of a run, before its first pass: nothing open, room to push back `capacity`
// characters (pushing back more stops the run with "Ungetbuf overflow").
void reader_init(int capacity);
// The next character of the current input (a pushed-back one first), or END_OF_INPUT at
// the end of the current input; char_pos tells where it stood. reader_ungetc pushes the
// character just read back, with that position.
int reader_getc();
void reader_ungetc(int c);
// The number of inputs suspended by INCLUDE.
int include_depth();
// The include switch: writes the name on standard output, suspends the current input and
// makes the named file current (fatal stops when 20 are suspended or it cannot be opened).
// A name that cannot be opened as given (relative to the working folder) is looked for in
// the folder of the file that holds the INCLUDE, then in each of `include_dirs`.
// `at`: the position of the INCLUDE, for the messages.
void include_enter(const char* name, const SrcPos& at);
// Back from a finished included file: closes it and resumes the suspended stream.
void include_return();
// Opens the main source for a pass (path, or standard input when path is null). Returns
// false when the file cannot be opened or read. From the second pass on, a source or
// include that was not a regular file in the first is read from what the first kept.
bool reader_open_source(const char* path);
// Closes the source and every include still open (a pass that ended early leaves some).
void reader_close_source();
// Reads the next block of a file stream, keeping the bytes not yet consumed. Returns false
// at the end of the file (the fast scanner reads blocks too).
bool reader_refill(InputStream& in);
