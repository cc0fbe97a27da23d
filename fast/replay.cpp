// Replay: the recorder of pass 1's parse and pass 2's replay of it.
#include "fast/replay.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "assembly/symbol.h"
#include "base/diag.h"
#include "source/scanner.h"
#include "parser/actions.h"
#include "parse_productions.h"
#include "parser/grammar.h"

namespace {

// The record: each action as its production and its base entry, then what it reads of the
// token: a literal's text with its NUL, an identifier's symbol. An include switch is a zero
// byte and the file's number in Recording::files; STATEMENT_END marks where the pass loop
// gave the statement's memory back.
constexpr uint8_t INCLUDE_MARK = 0;
constexpr uint8_t STATEMENT_END = 0xFF;
constexpr size_t CHUNK = size_t{1} << 18;
static_assert(PRODUCTION_COUNT < STATEMENT_END);

// A new chunk for n bytes that stay together; null when the record would pass its limit.
[[gnu::noinline]] uint8_t* new_chunk(Recording& rec, size_t n) {
  Recording& r = rec;
  size_t size = n > CHUNK ? n : CHUNK;
  r.total += size;
  if (r.total > rec.limit) {
    rec.usable = false;
    rec.on = false;
    rec.chunks.clear();
    return nullptr;
  }
  if (!rec.chunks.empty()) rec.chunks.back().used = static_cast<size_t>(r.cur - rec.chunks.back().bytes.get());
  std::unique_ptr<uint8_t[]> bytes = size == CHUNK && rec.spare ? std::move(rec.spare) : std::unique_ptr<uint8_t[]>(new uint8_t[size]);
  rec.chunks.push_back(RecordChunk{std::move(bytes), 0});
  r.cur = rec.chunks.back().bytes.get();
  r.limit_at = r.cur + size;
  if (rec.make_spare && !rec.spare && r.total + CHUNK <= rec.limit) rec.spare.reset(rec.make_spare(rec.spare_context, CHUNK));
  return r.cur;
}

// Room for n bytes that stay together; null when the record would pass its limit.
[[gnu::always_inline]] inline uint8_t* room(Recording& rec, size_t n) {
  if (static_cast<size_t>(rec.limit_at - rec.cur) >= n) [[likely]] return rec.cur;
  return new_chunk(rec, n);
}

// Appends n bytes as one unit (nothing once recording has stopped).
void put(Recording& rec, const void* bytes, size_t n) {
  Recording& r = rec;
  if (!rec.on) return;
  uint8_t* at = room(rec, n);
  if (!at) return;
  std::memcpy(at, bytes, n);
  r.cur += n;
}

// What the record keeps of an action's token, by production: nothing, a string's text,
// a number's value or a symbol. Productions whose action does nothing are not recorded.
enum Reads : uint8_t { READS_NOTHING, READS_TEXT, READS_NUMBER, READS_SYMBOL, NOT_RECORDED };
struct ReadsTable {
  Reads of[PRODUCTION_COUNT];
  // Whether the unit keeps its entry's position, when positions are kept: statements, and
  // the operands that a message about a name or a divisor points at (a primary, a prefix
  // operator's unary: the last recorded action on a divisor's entry is one of them).
  bool position[PRODUCTION_COUNT];
  ReadsTable() {
    for (int q = 0; q < PRODUCTION_COUNT; q++) {
      of[q] = action_passes_value(q) ? NOT_RECORDED : READS_NOTHING;
      position[q] = is_statement_production(q);
    }
    of[P_String__STRING] = READS_TEXT;
    of[P_Number__NUMBER] = of[P_Number__HEX_NUMBER] = of[P_Number__CHAR_CONSTANT] = READS_NUMBER;
    of[P_Ident__IDENT] = READS_SYMBOL;
    for (int q : {P_primary__Ident, P_primary__Number, P_primary__LBRACKET_expr_RBRACKET, P_unary__MINUS_unary,
                  P_unary__GREATER_unary, P_unary__LESS_unary})
      position[q] = true;
  }
};
const ReadsTable reads;

// One unit, kept together in one chunk: the production and the base entry, the entry's
// position where it is kept, then what the action read: a string's text with its NUL, a
// number's value (the action has just worked it out), or the symbol the lookup found.
// What the action read of a number or a name, written at `at`; returns the end.
inline uint8_t* put_read_value(uint8_t* at, Reads what, const ParseValue& v) {
  if (what == READS_SYMBOL) {
    std::memcpy(at, &v.symbol, sizeof v.symbol);
    return at + sizeof v.symbol;
  }
  if (what == READS_NUMBER) {
    std::memcpy(at, &v.integer, sizeof v.integer);
    return at + sizeof v.integer;
  }
  return at;
}

// The unit of an action that reads a string: its text follows, with its NUL.
[[gnu::noinline]] void record_string(Recording& rec, int production, int base, const char* text) {
  size_t n = std::strlen(text) + 1;
  uint8_t* at = room(rec, 2 + n);
  if (!at) return;
  at[0] = static_cast<uint8_t>(production);
  at[1] = static_cast<uint8_t>(base);
  std::memcpy(at + 2, text, n);
  rec.cur = at + 2 + n;
}

// A unit that carries its entry's position, when positions are kept.
[[gnu::noinline]] void record_with_position(Recording& rec, int production, int base, const ParseValue& v) {
  Reads what = reads.of[production];
  size_t n = what == READS_TEXT ? std::strlen(v.text) + 1 : sizeof(Symbol*);
  uint8_t* at = room(rec, 2 + sizeof(SrcPos) + n);
  if (!at) return;
  at[0] = static_cast<uint8_t>(production);
  at[1] = static_cast<uint8_t>(base);
  at += 2;
  if (reads.position[production]) {
    std::memcpy(at, &v.pos, sizeof v.pos);
    at += sizeof v.pos;
  }
  if (what == READS_TEXT) {
    std::memcpy(at, v.text, n);
    at += n;
  } else {
    at = put_read_value(at, what, v);
  }
  rec.cur = at;
}

}  // namespace

void record_action(Recording& rec, int production, int base, const ParseValue& v) {
  Reads what = reads.of[production];
  if (what == NOT_RECORDED || !rec.on) return;
  if (rec.positions && reads.position[production]) [[unlikely]]
    return record_with_position(rec, production, base, v);
  if (what == READS_TEXT) return record_string(rec, production, base, v.text);
  uint8_t* at = room(rec, 2 + sizeof(Symbol*));
  if (!at) return;
  at[0] = static_cast<uint8_t>(production);
  at[1] = static_cast<uint8_t>(base);
  rec.cur = put_read_value(at + 2, what, v);
}

namespace {

// The recorder as the engine's and the reader's watch: an action, a file opened (an
// include's switch), bytes read (hashed), a file closed.
void on_acted(void* context, int production, int base, const ParseValue& v) {
  record_action(*static_cast<Recording*>(context), production, base, v);
}

// An include switch in the record: the mark and the file's number (its name is kept once).
void on_opened(void* context, InputStream& in, bool regular) {
  Recording& rec = *static_cast<Recording*>(context);
  // The key: the path, a NUL, the name (one path may be included under two names).
  auto [at, fresh] = rec.file_of.try_emplace(in.path + '\0' + in.name, static_cast<uint32_t>(rec.files.size()));
  uint32_t file = at->second;
  if (fresh) rec.files.push_back(ReadFile{in.name, in.path});
  if (!regular) rec.files[file].regular = false;
  size_t slot = 0;
  while (slot < rec.reading.size() && rec.reading[slot].active) slot++;
  if (slot == rec.reading.size()) rec.reading.emplace_back();
  rec.reading[slot] = OpenRead{file, FileHash(rec.key), false, true};
  in.watch_id = static_cast<int>(slot);
  if (in.is_include) {
    uint8_t unit[1 + sizeof file] = {INCLUDE_MARK};
    std::memcpy(unit + 1, &file, sizeof file);
    put(rec, unit, sizeof unit);
  }
}

void on_read(void* context, InputStream& in, const unsigned char* bytes, size_t n) {
  Recording& rec = *static_cast<Recording*>(context);
  if (in.watch_id < 0) return;
  OpenRead& o = rec.reading[static_cast<size_t>(in.watch_id)];
  o.hash.add(bytes, n);
  if (n == 0) o.at_end = true;
}

// An opening read whole: the first of its file sets what the file holds, every later one
// must have read the same.
void finish_reading(Recording& rec, OpenRead& o) {
  ReadFile& f = rec.files[o.file];
  uint64_t size = o.hash.length, hash = o.hash.finish();
  if (!f.seen) {
    f.seen = true;
    f.size = size;
    f.hash = hash;
    f.read_to_end = o.at_end;
  } else if (f.size != size || f.hash != hash || f.read_to_end != o.at_end) {
    f.consistent = false;
  }
  o.active = false;
}

// An opening ends: what it read is settled for its file.
void on_closed(void* context, InputStream& in) {
  Recording& rec = *static_cast<Recording*>(context);
  if (in.watch_id < 0) return;
  finish_reading(rec, rec.reading[static_cast<size_t>(in.watch_id)]);
  in.watch_id = -1;
}

// Reads the file again and tells whether it still holds what pass 1 read of it. Only a
// regular file is opened (a FIFO or a device could block, or give other bytes each time).
bool unchanged(const Recording& rec, const ReadFile& f) {
  if (!f.regular || !f.consistent || !f.seen) return false;
  struct stat st;
  if (::stat(f.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size < f.size || (f.read_to_end && size != f.size)) return false;
  int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  // Still the file that was looked at (not swapped for another since).
  struct stat opened;
  bool same = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == st.st_dev &&
              opened.st_ino == st.st_ino;
  FileHash h(rec.key);
  std::vector<unsigned char> block(size_t{1} << 16);
  while (same && h.length < f.size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(f.size - h.length, block.size()));
    ssize_t n = ::read(fd, block.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) same = false;
    else h.add(block.data(), static_cast<size_t>(n));
  }
  ::close(fd);
  return same && h.finish() == f.hash;
}

}  // namespace

void record_start(Recording& rec, size_t limit) {
  rec.on = true;
  rec.usable = true;
  rec.limit = limit;
  rec.positions = g->gnu_messages;
  if (getrandom(rec.key, sizeof rec.key, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof rec.key)) rec.usable = false;
  g->parser->watch = ParseWatch{&rec, nullptr, on_acted};
  g->reader->watch = ReaderWatch{&rec, on_opened, on_read, on_closed};
}

void record_statement_end(Recording& rec) {
  if (!rec.on || rec.cur == nullptr) return;
  if (rec.cur > rec.chunks.back().bytes.get() && rec.cur[-1] == STATEMENT_END) return;
  const uint8_t mark = STATEMENT_END;
  put(rec, &mark, 1);
}

void record_finish(Recording& rec) {
  Recording& r = rec;
  g->parser->watch = ParseWatch{};
  g->reader->watch = ReaderWatch{};
  if (!rec.chunks.empty()) rec.chunks.back().used = static_cast<size_t>(r.cur - rec.chunks.back().bytes.get());
  for (OpenRead& o : rec.reading)
    if (o.active) finish_reading(rec, o);  // the source, still open
  rec.on = false;
  rec.spare.reset();  // mapped in ahead, and no longer needed
}

bool record_replayable(Recording& rec) {
  if (!rec.usable || g->error_count != 0 || g->debug) return false;
  for (const ReadFile& f : rec.files)
    if (!unchanged(rec, f)) return false;
  return true;
}

namespace {

// One recorded action made again: its entry gets what it read, then the action runs. Two
// specialised steps leave the action out: a number's entry gets the value that the
// action worked out from the same text in pass 1, and an identifier's entry the symbol
// that the lookup of the same name found (pass 2 creates no symbols).
template <bool kPositions>
const uint8_t* replay_action(const uint8_t* p, int production, ParseValue* v) {
  if (kPositions && reads.position[production]) {
    std::memcpy(&v->pos, p, sizeof v->pos);
    p += sizeof v->pos;
  }
  switch (reads.of[production]) {
    case READS_TEXT:
      v->text = reinterpret_cast<const char*>(p);
      p += std::strlen(v->text) + 1;
      break;
    case READS_NUMBER:
      std::memcpy(&v->integer, p, sizeof v->integer);
      return p + sizeof v->integer;
    case READS_SYMBOL:
      std::memcpy(&v->symbol, p, sizeof v->symbol);
      return p + sizeof v->symbol;
    default:
      break;
  }
  reduction_action(production, v);
  return p;
}

// The rest of a unit that is not an action: an include switch or a statement's end.
const uint8_t* replay_mark(const Recording& rec, const uint8_t* p, int mark) {
  if (mark == STATEMENT_END) {
    arena_reset(g->statement);
    return p;
  }
  uint32_t file;
  std::memcpy(&file, p, sizeof file);
  const std::string& name = rec.files[file].name;
  out_write(g->out, name.data(), name.size());
  out_putc(g->out, '\n');
  return p + sizeof file;
}


// Every unit made again, the engine's watch told of each action as the engine tells it
// (so a check can hold the replay's actions against a plain pass 2's).
template <bool kPositions>
void replay_all(Recording& rec) {
  ParseValue stack[PARSER_STACK_LIMIT] = {};
  const ParseWatch watch = g->parser->watch;
  for (const RecordChunk& chunk : rec.chunks) {
    const uint8_t* p = chunk.bytes.get();
    const uint8_t* end = p + chunk.used;
    while (p < end) {
      int unit = *p++;
      if (unit == STATEMENT_END || unit == INCLUDE_MARK) {
        p = replay_mark(rec, p, unit);
        continue;
      }
      int base = *p++;
      p = replay_action<kPositions>(p, unit, &stack[base]);
      if (watch.acted) [[unlikely]] watch.acted(watch.context, unit, base, stack[base]);
    }
  }
}

}  // namespace

void record_replay(Recording& rec) {
  if (rec.positions) replay_all<true>(rec);
  else replay_all<false>(rec);
}
