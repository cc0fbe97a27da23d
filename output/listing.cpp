// The listing and the label file.
#include "output/listing.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "assembly/section.h"
#include "assembly/symbol.h"

namespace {

constexpr char HEX[] = "0123456789abcdef";

constexpr size_t AHEAD = 8;  // how far ahead of its use a symbol is fetched

// The symbols of the table, in no particular order: through the index beside the chains
// when it holds them all (no name entered twice), else along the chains. The index's slots
// lie in one block, so the symbols can be fetched ahead of use, where a walk along a chain
// waits for each in turn.
std::vector<const Symbol*> symbols_of(const NameTable* table) {
  std::vector<const Symbol*> list;
  list.reserve(static_cast<size_t>(table->element_count));
  if (table->index.used == static_cast<size_t>(table->element_count)) {
    for (const IndexSlot& slot : table->index.slots)
      if (slot.node) list.push_back(static_cast<const Symbol*>(node_payload(slot.node)));
  } else {
    table_visit(table, [&](void* p) { list.push_back(static_cast<const Symbol*>(p)); });
  }
  return list;
}

// The first sixteen bytes of the name (zeros past its end) as two numbers, which compare
// as the bytes do.
void name_key(const char* name, uint64_t key[2]) {
  uint8_t bytes[16] = {};
  std::memcpy(bytes, name, strnlen(name, 16));
  for (int half = 0; half < 2; half++) {
    uint64_t v = 0;
    for (int i = 0; i < 8; i++) v = v << 8 | bytes[8 * half + i];
    key[half] = v;
  }
}

// A symbol being sorted: the first eight bytes of its name as a number, its place in the
// list of symbols, and its value (0 when not sorted by value).
struct SortItem {
  uint64_t head;
  uint32_t index;
  uint16_t value;
};

// Sorts the items by the number of `bits` bits that `key` picks from each, keeping the order
// of equal ones: a counting sort on eleven bits at a time, from the lowest (where all the
// items agree, there is nothing to do).
template <typename Key>
void radix_sort(std::vector<SortItem>& items, std::vector<SortItem>& spare, int bits, Key key) {
  constexpr int DIGIT = 11;
  constexpr uint64_t MASK = (uint64_t{1} << DIGIT) - 1;
  std::vector<size_t> start(MASK + 2);
  for (int shift = 0; shift < bits; shift += DIGIT) {
    std::fill(start.begin(), start.end(), 0);
    for (const SortItem& it : items) start[(key(it) >> shift & MASK) + 1]++;
    if (std::find(start.begin() + 1, start.end(), items.size()) != start.end()) continue;
    for (size_t d = 1; d < start.size(); d++) start[d] += start[d - 1];
    for (const SortItem& it : items) spare[start[key(it) >> shift & MASK]++] = it;
    items.swap(spare);
  }
}

// Within each run of items of equal value and first eight bytes of the name: by the next
// eight bytes (`tail`), then by the whole names.
void order_runs(std::vector<SortItem>& items, const std::vector<uint64_t>& tail,
                const std::vector<const Symbol*>& list) {
  auto before = [&](const SortItem& a, const SortItem& b) {
    if (tail[a.index] != tail[b.index]) return tail[a.index] < tail[b.index];
    return std::strcmp(list[a.index]->name, list[b.index]->name) < 0;
  };
  for (size_t i = 0; i < items.size();) {
    size_t j = i + 1;
    while (j < items.size() && items[j].head == items[i].head && items[j].value == items[i].value) j++;
    std::sort(items.begin() + static_cast<ptrdiff_t>(i), items.begin() + static_cast<ptrdiff_t>(j), before);
    i = j;
  }
}

// The symbols (the defined ones only, or all) sorted by name, byte by byte, or by value and
// then by name. Comparisons go one way or the other at random, which costs: so by value
// and the first eight bytes of each name first, counting; then in the runs where those
// agree by the next eight, and by the whole names only where those agree too (names of a
// program share long beginnings).
std::vector<const Symbol*> sorted_symbols(const NameTable* symbols, bool defined_only, bool by_value) {
  std::vector<const Symbol*> list = symbols_of(symbols);
  std::vector<uint64_t> tail;
  std::vector<SortItem> items;
  tail.reserve(list.size());
  items.reserve(list.size());
  size_t kept = 0;
  for (size_t i = 0; i < list.size(); i++) {
    if (i + AHEAD < list.size()) __builtin_prefetch(list[i + AHEAD]);
    const Symbol* s = list[i];
    if (defined_only && !s->defined) continue;
    uint64_t key[2];
    name_key(s->name, key);
    items.push_back(SortItem{key[0], static_cast<uint32_t>(kept), by_value ? s->value : uint16_t{0}});
    tail.push_back(key[1]);
    list[kept++] = s;
  }
  list.resize(kept);
  std::vector<SortItem> spare(kept);
  radix_sort(items, spare, 64, [](const SortItem& it) { return it.head; });
  radix_sort(items, spare, 16, [](const SortItem& it) { return uint64_t{it.value}; });
  order_runs(items, tail, list);
  std::vector<const Symbol*> sorted(kept);
  for (size_t i = 0; i < kept; i++) sorted[i] = list[items[i].index];
  return sorted;
}

constexpr size_t BYTES_A_LINE = 4;
constexpr size_t BYTES_WIDTH = 13;  // four bytes, each "xx ", and a blank
constexpr size_t TEXT_COLUMN = 30;  // where the text begins (counted from 0)

// The two digits of each byte in hexadecimal, and of each number below 100 in decimal.
struct DigitPairs {
  char hex[256][2];
  char decimal[100][2];
  constexpr DigitPairs() : hex(), decimal() {
    for (int i = 0; i < 256; i++) {
      hex[i][0] = HEX[i >> 4];
      hex[i][1] = HEX[i & 15];
    }
    for (int i = 0; i < 100; i++) {
      decimal[i][0] = static_cast<char>('0' + i / 10);
      decimal[i][1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs PAIRS;

// Two or four lowercase hexadecimal digits at `at`, without a NUL.
void put_hex2(char* at, uint8_t b) { std::memcpy(at, PAIRS.hex[b], 2); }

void put_hex4(char* at, uint32_t v) {
  put_hex2(at, static_cast<uint8_t>(v >> 8));
  put_hex2(at + 2, static_cast<uint8_t>(v));
}

// The bytes in the bytes column (columns 18-30, its blanks already there).
void put_bytes(char* line, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; i++) put_hex2(line + 17 + 3 * i, bytes[i]);
}

// `v` in decimal, its last digit just before `end`.
void put_decimal(char* end, uint32_t v) {
  for (; v >= 100; v /= 100) {
    end -= 2;
    std::memcpy(end, PAIRS.decimal[v % 100], 2);
  }
  if (v >= 10) std::memcpy(end - 2, PAIRS.decimal[v], 2);
  else end[-1] = static_cast<char>('0' + v);
}

// Room for n more characters in the output's buffer (n <= OutStream::CAPACITY).
char* room(OutStream& out, size_t n) {
  return out.len + n <= OutStream::CAPACITY ? out.buf + out.len : out_reserve(out, n);
}

// A line of the listing, composed in place: in the output's buffer when it fits, else
// beside it. It goes out without its trailing blanks.
struct LineOut {
  OutStream& out;
  std::vector<char> spill;
  char* start = nullptr;
  char* o = nullptr;
  bool direct = false;
  explicit LineOut(OutStream& s) : out(s) {}
  // Room for at most `most` characters, the line feed included.
  void begin(size_t most) {
    direct = most <= OutStream::CAPACITY;
    if (direct) {
      start = room(out, most);
    } else {
      spill.resize(most);
      start = spill.data();
    }
    o = start;
  }
  void end() {
    while (o > start && o[-1] == ' ') o--;
    *o++ = '\n';
    size_t n = static_cast<size_t>(o - start);
    if (direct) out_commit(out, n);
    else out_write(out, start, n);
  }
  void blanks(size_t n) {
    std::memset(o, ' ', n);
    o += n;
  }
  void text(const char* p, size_t n) {
    std::memcpy(o, p, n);
    o += n;
  }
  void number(int64_t n, size_t width) {
    char digits[24];
    size_t k = 0;
    uint64_t v = n < 0 ? 0 : static_cast<uint64_t>(n);
    do {
      digits[k++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    if (k < width) blanks(width - k);
    while (k > 0) *o++ = digits[--k];
  }
  void hex4(uint32_t v) {
    put_hex4(o, v);
    o += 4;
  }
};

// A message, under the line it points at or at the end.
void message_line(LineOut& line, const LoggedMessage& m) {
  line.begin(m.text.size() + 5);
  line.text("*** ", 4);
  line.text(m.text.data(), m.text.size());
  line.end();
}

// The address at which the current section stands, or none.
struct Place {
  const Section* section = nullptr;
  int32_t counter = 0;
  uint32_t address() const {
    return (static_cast<uint32_t>(section->start) + static_cast<uint32_t>(counter)) & 0xFFFF;
  }
};

// Bytes that pass 2 stored at consecutive addresses of one section (Placements::bytes
// holds them one after the other).
struct Span {
  const Section* section;
  uint32_t address;
  const uint8_t* bytes;
  size_t count;
};

// What pass 2 noted of a statement: the current section after it (null: not placed, as
// when the run stopped before) and the section's location counter then.
struct Statement {
  PlacementKind kind;
  const Section* section;
  int32_t counter;
};

// The statements in order, taken one after the other.
class StatementCursor {
 public:
  explicit StatementCursor(const Placements& placed) : p_(placed), placed_(placed.counters.size()) {
    seek(0);
    follow_changes();
  }
  bool more() const { return index_ < p_.lines.size(); }
  PlacementKind next_kind() const { return *kind_; }
  // Whether the next statement begins on `line` of `input`, or on a line before it (past
  // the last one, the input is none).
  bool by(int32_t input, int32_t line) const { return input_ == input && *line_ <= line; }
  Statement take() {
    Statement st{*kind_, nullptr, 0};
    if (index_ < placed_) st = Statement{st.kind, section_, *counter_++};
    index_++;
    kind_++;
    if (++line_ == stop_) seek(index_);
    if (index_ == next_change_) follow_changes();
    return st;
  }

 private:
  // Where the entries of statement i are, and where those that follow them in memory end.
  void seek(size_t i) {
    if (i >= p_.lines.size()) return;
    line_ = &p_.lines[i];
    kind_ = &p_.kinds[i];
    counter_ = i < placed_ ? &p_.counters[i] : nullptr;
    stop_ = line_ + p_.lines.contiguous_from(i);
  }
  // The input and the section as of the next statement, and where they change next.
  void follow_changes() {
    const std::vector<Change>& inputs = p_.inputs;
    const std::vector<Change>& sections = p_.section_changes;
    while (next_input_ < inputs.size() && inputs[next_input_].first <= index_) input_ = inputs[next_input_++].value;
    while (next_section_ < sections.size() && sections[next_section_].first <= index_) {
      uint32_t number = static_cast<uint32_t>(sections[next_section_++].value);
      section_ = number - 1u < p_.sections.size() ? p_.sections[number - 1u] : nullptr;
    }
    if (!more()) input_ = -1;
    next_change_ = p_.lines.size();
    if (next_input_ < inputs.size()) next_change_ = std::min(next_change_, inputs[next_input_].first);
    if (next_section_ < sections.size()) next_change_ = std::min(next_change_, sections[next_section_].first);
  }
  const Placements& p_;
  size_t placed_;  // how many pass 2 made
  size_t index_ = 0;
  const int32_t* line_ = nullptr;
  const PlacementKind* kind_ = nullptr;
  const int32_t* counter_ = nullptr;
  const int32_t* stop_ = nullptr;
  int32_t input_ = -1;
  const Section* section_ = nullptr;
  size_t next_input_ = 0;    // the next change of the input
  size_t next_section_ = 0;  // the next change of the section
  size_t next_change_ = 0;   // the statement at which either changes
};

// Columns 8-10 of an input's lines: its depth mark ("+1 ", "+12", blank for the source),
// while the depth has at most two digits.
struct DepthMark {
  char text[3];
  explicit DepthMark(int32_t depth) : text{' ', ' ', ' '} {
    if (depth <= 0 || depth >= 100) return;
    text[0] = '+';
    if (depth >= 10) std::memcpy(text + 1, PAIRS.decimal[depth], 2);
    else text[1] = static_cast<char>('0' + depth);
  }
};

// An input being written: the rest of its text, and the includes it entered still to come.
struct Frame {
  int32_t input;
  int32_t depth;
  const char* p;
  const char* end;    // the first $1A, once found, ends it early
  const char* clear;  // no tab and no $1A lie in [p, clear)
  int32_t number;     // the next line's number
  DepthMark mark;
  const Entered* entered;
  const Entered* entered_end;
};

// Where a line begins: the section and the address after the .SECTION statements at its
// start (the name of the first of them, if any).
struct LineStart {
  const Section* section;
  uint32_t address;
  const char* name;
};

// The fixed columns of a line whose number has at most six digits, whose depth has its mark
// and that selects no section: filled into blanks, with the bytes shown on it.
void put_common_columns(char* o, int32_t number, const DepthMark& mark, const LineStart& at, const uint8_t* bytes,
                        size_t count) {
  std::memset(o, ' ', TEXT_COLUMN);
  put_decimal(o + 6, static_cast<uint32_t>(number));
  std::memcpy(o + 7, mark.text, 3);
  if (at.section) put_hex4(o + 11, at.address);
  put_bytes(o, bytes, count);
}

// The rarer paths are kept out of line, so that the common one is compiled whole.
struct Listing {
  OutStream& out;
  const LineLog& log;
  const Placements& placed;
  struct Message {
    const LoggedMessage* m;
    int32_t line;  // the line it is written under
  };
  struct InputMessages {
    std::vector<Message> list;  // sorted by line
    const Message* next = nullptr;  // the next to write, up to end
    const Message* end = nullptr;
  };
  std::vector<InputMessages> messages_of;  // by input
  std::vector<const LoggedMessage*> unplaced;
  StatementCursor cursor;
  const uint8_t* next_bytes;  // those of the next placement that stored any
  const uint8_t* bytes_end;
  Place place;
  LineOut line;
  std::vector<Span> spans;  // the bytes of the statements of the line, not yet written

  Listing(OutStream& o, const LineLog& l, const Placements& p)
      : out(o), log(l), placed(p), cursor(p), next_bytes(p.bytes.data()),
        bytes_end(p.bytes.data() + p.bytes.size()), line(o) {}

  // The fixed columns: number (1-6), depth mark (8-10), address (12-15), bytes (18-30);
  // the text begins in column 31. COLUMNS is room for them (a number of up to ten digits)
  // and the line feed.
  static constexpr size_t COLUMNS = 60;
  void columns(int64_t number, int32_t depth, bool with_address, uint32_t address) {
    if (number > 0) line.number(number, 6);
    else line.blanks(6);
    line.blanks(1);
    if (depth > 0) {
      char* from = line.o;
      *line.o++ = '+';
      line.number(depth, 0);
      line.blanks(3 - std::min<size_t>(3, static_cast<size_t>(line.o - from)));
    } else {
      line.blanks(3);
    }
    line.blanks(1);
    if (with_address) line.hex4(address);
    else line.blanks(4);
    line.blanks(2);
  }

  // The source text, tabs expanded to every eighth column of the text: at most eight
  // characters for each of its bytes.
  void text(const char* p, size_t n) {
    size_t column = 0;
    while (n > 0) {
      const char* tab = static_cast<const char*>(std::memchr(p, '\t', n));
      size_t k = tab ? static_cast<size_t>(tab - p) : n;
      line.text(p, k);
      column += k;
      if (!tab) break;
      size_t to = (column / 8 + 1) * 8;
      line.blanks(to - column);
      column = to;
      p += k + 1;
      n -= k + 1;
    }
  }

  [[gnu::noinline]] void message(const LoggedMessage& m) { message_line(line, m); }

  // The placement's bytes, added to the spans: to the last one when they follow it at once
  // (its bytes end where these begin).
  void add_bytes(const Section* s, int32_t from, int32_t to) {
    size_t count = placed_byte_count(PLACED_BYTES, s, from, to);
    if (count == 0 || count > static_cast<size_t>(bytes_end - next_bytes)) return;  // cannot be: they were copied
    uint32_t address = (static_cast<uint32_t>(s->start) + static_cast<uint32_t>(std::max(from, 0))) & 0xFFFF;
    const uint8_t* bytes = next_bytes;
    next_bytes += count;
    if (!spans.empty()) {
      Span& last = spans.back();
      if (last.section == s && ((last.address + last.count) & 0xFFFF) == address) {
        last.count += count;
        return;
      }
    }
    spans.push_back(Span{s, address, bytes, count});
  }

  // A statement taken in order: it leaves the section and the location counter where it
  // put them, and the bytes it placed join the spans.
  void apply(const Statement& st) {
    if (!st.section) return;  // not placed: the run stopped before
    int32_t from = place.counter;  // where the statement before left it
    place.section = st.section;
    place.counter = st.counter;
    if (st.kind == PLACED_BYTES) add_bytes(st.section, from, st.counter);
  }

  // The bytes of the spans, but for the first `shown` (written on the source line), on
  // lines of their own: four a line, with the address of the first.
  [[gnu::noinline]] void continuation_lines(size_t shown) {
    for (const Span& span : spans) {
      for (size_t i = shown; i < span.count; i += BYTES_A_LINE) {
        size_t k = std::min(BYTES_A_LINE, span.count - i);
        line.begin(COLUMNS);
        std::memset(line.o, ' ', TEXT_COLUMN);
        put_hex4(line.o + 11, (span.address + static_cast<uint32_t>(i)) & 0xFFFF);
        put_bytes(line.o, span.bytes + i, k);
        line.o += 17 + 3 * k - 1;
        line.end();
      }
      shown = 0;
    }
    spans.clear();
  }

  // Statements that begin on a line already written (after an INCLUDE on the same line):
  // their bytes on lines of their own.
  [[gnu::noinline]] void late_placements(int32_t input, int32_t up_to_line) {
    while (cursor.by(input, up_to_line)) apply(cursor.take());
    continuation_lines(0);
  }

  // The input's messages about its lines up to `up_to_line`, each on a line of its own.
  void messages_up_to(InputMessages& q, int64_t up_to_line) {
    while (q.next != q.end && q.next->line <= up_to_line) message(*q.next++->m);
  }

  // Applies the statements that begin on the line (and those before it not yet applied);
  // where the line begins. A section switch shows the section's name; the address is where
  // the line's first other statement begins (where the next byte goes when there is none).
  LineStart take_line(int32_t input, int32_t number) {
    const char* name = nullptr;
    while (cursor.by(input, number) && cursor.next_kind() == PLACED_SECTION) {
      Statement st = cursor.take();
      if (!name && st.section) name = st.section->name;
      apply(st);
    }
    LineStart at{place.section, place.section ? place.address() : 0, name};
    while (cursor.by(input, number)) apply(cursor.take());
    return at;
  }

  // A line of common columns, with no tab, whose text fits the output's buffer: written
  // straight into it. (Its trailing blanks are told by the text, which was not just written.)
  void common_line(int32_t number, const DepthMark& mark, const LineStart& at, const uint8_t* bytes, size_t count,
                   const char* p, size_t n) {
    char* start = room(out, TEXT_COLUMN + n + 1);
    char* __restrict o = start;  // the line's characters change nothing else
    put_common_columns(o, number, mark, at, bytes, count);
    std::memcpy(o + TEXT_COLUMN, p, n);
    o += TEXT_COLUMN + n;
    if (n == 0 || p[n - 1] == ' ')
      while (o > start && o[-1] == ' ') o--;
    *o++ = '\n';
    out_commit(out, static_cast<size_t>(o - start));
  }

  // Any line, its text with tabs expanded.
  [[gnu::noinline]] void any_line(int32_t number, int32_t depth, const LineStart& at, const uint8_t* bytes,
                                  size_t count, const char* p, size_t n) {
    line.begin(COLUMNS + (at.name ? std::strlen(at.name) : 0) + n * 8);
    wide_columns(number, depth, at, bytes, count);
    text(p, n);
    line.end();
  }

  // The fixed columns of any line, with the section's name or the bytes shown on it.
  void wide_columns(int32_t number, int32_t depth, const LineStart& at, const uint8_t* bytes, size_t count) {
    columns(number, depth, at.section != nullptr, at.address);
    size_t width = BYTES_WIDTH;
    if (at.name) {
      size_t n = std::strlen(at.name);
      *line.o++ = '[';
      line.text(at.name, n);
      *line.o++ = ']';
      width = n + 2 < BYTES_WIDTH ? BYTES_WIDTH - n - 2 : 1;
    } else {
      for (size_t i = 0; i < count; i++) {
        put_hex2(line.o, bytes[i]);
        line.o[2] = ' ';
        line.o += 3;
      }
      width -= 3 * count;
    }
    line.blanks(width);
  }

  // One source line of the frame (with tabs or not), with what the statements that begin
  // on it placed, and its messages.
  void source_line(Frame& f, int32_t number, const char* p, size_t n, bool tabs) {
    LineStart at = take_line(f.input, number);
    size_t shown = 0;  // the first span's bytes written on the line itself
    if (!at.name && !spans.empty() && spans[0].section == at.section && spans[0].address == at.address)
      shown = std::min(BYTES_A_LINE, spans[0].count);
    const uint8_t* bytes = shown ? spans[0].bytes : nullptr;
    if (!tabs && !at.name && number < 1000000 && f.depth < 100 && n < OutStream::CAPACITY - TEXT_COLUMN)
      common_line(number, f.mark, at, bytes, shown, p, n);
    else
      any_line(number, f.depth, at, bytes, shown, p, n);
    if (spans.size() > 1 || (!spans.empty() && spans[0].count > shown)) continuation_lines(shown);
    spans.clear();
    messages_up_to(messages_of[static_cast<size_t>(f.input)], number);
  }

  // The messages, by the input and line they go under, in the order written: pass 1's
  // under the line they point at, pass 2's under the line where their statement begins; a
  // message that pass 2 wrote as pass 1 did (a syntax error) once.
  void sort_messages(const MessageLog& messages) {
    messages_of.assign(log.inputs.size(), {});
    // What pass 1 said with a position: pass 2 says some of it again (a syntax error).
    std::set<std::tuple<int32_t, int32_t, int32_t, std::string_view>> said;
    for (const LoggedMessage& m : messages.list)
      if (m.placed && m.pass != 2) said.emplace(m.input, m.line, m.col, m.text);
    for (const LoggedMessage& m : messages.list) {
      int32_t input = m.input, line_number = m.line;
      if (m.placed && m.pass == 2) {
        if (said.count({m.input, m.line, m.col, m.text})) continue;
        // Under the line where its statement begins, known whether or not the replay
        // carried positions (so the listing is the same either way).
        if (m.statement < placed.lines.size()) {
          input = placed.input_of(m.statement);
          line_number = placed.lines[m.statement];
        }
      }
      if (m.placed && line_number > 0 && input >= 0 && static_cast<size_t>(input) < log.inputs.size())
        messages_of[static_cast<size_t>(input)].list.push_back(Message{&m, line_number});
      else
        unplaced.push_back(&m);
    }
    for (InputMessages& q : messages_of) {
      std::vector<Message>& list = q.list;
      std::stable_sort(list.begin(), list.end(), [](const Message& a, const Message& b) { return a.line < b.line; });
      q.next = list.data();
      q.end = list.data() + list.size();
    }
  }

  // Searches the bytes from p on for a tab and for $1A, which ends the text (at `end`, then):
  // the line [p, p + n) and some way past it (both are rare), but not far (to bytes that
  // are about to be read anyway). `clear` is where the bytes from p on hold neither up to.
  static void look_ahead(const char* p, size_t n, const char*& end, const char*& clear) {
    size_t window = std::max(n, std::min<size_t>(4096, static_cast<size_t>(end - p)));
    clear = p + window;
    if (const void* eof = std::memchr(p, 0x1A, window)) end = clear = static_cast<const char*>(eof);
    if (const void* tab = std::memchr(p, '\t', static_cast<size_t>(clear - p))) clear = static_cast<const char*>(tab);
  }

  // A frame for the input, if there is one of that number.
  void enter(std::vector<Frame>& frames, int32_t input) {
    if (input < 0 || static_cast<size_t>(input) >= log.inputs.size()) return;
    const LoggedInput& in = log.inputs[static_cast<size_t>(input)];
    const std::string& t = log.texts[in.text];
    const Entered* entered = in.entered.data();
    frames.push_back(Frame{input, in.depth, t.data(), t.data() + t.size(), t.data(), 1, DepthMark(in.depth), entered,
                           entered + in.entered.size()});
  }

  // The frame's lines, up to its line `last` or its end.
  void lines_of(Frame& f, int32_t last) {
    const char* p = f.p;
    const char* end = f.end;
    const char* clear = f.clear;
    int32_t number = f.number;
    while (p < end && number <= last) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      size_t n = static_cast<size_t>((lf ? lf : end) - p);
      if (p + n > clear) {
        look_ahead(p, n, end, clear);
        if (p == end) break;
        if (p + n > end) {  // $1A in the line ends it, and the text
          lf = nullptr;
          n = static_cast<size_t>(end - p);
        }
      }
      if (lf && n > 0 && p[n - 1] == '\r') n--;  // read as the line feed alone
      source_line(f, number, p, n, clear < p + n);
      p = lf ? lf + 1 : end;
      if (number < INT32_MAX) number++;
    }
    f.p = p;
    f.end = end;
    f.clear = clear;
    f.number = number;
  }

  // The inputs in the order read: each one's lines, and after the line of each INCLUDE the
  // lines of the file it entered.
  void all_lines() {
    std::vector<Frame> frames;
    enter(frames, 0);
    while (!frames.empty()) {
      Frame& f = frames.back();
      bool entering = f.entered != f.entered_end;
      lines_of(f, entering ? f.entered->line : INT32_MAX);
      if (entering) {
        int32_t child = f.entered++->input;
        late_placements(f.input, f.number - 1);
        enter(frames, child);
        continue;
      }
      late_placements(f.input, INT32_MAX);
      messages_up_to(messages_of[static_cast<size_t>(f.input)], INT64_MAX);
      frames.pop_back();
      if (!frames.empty()) late_placements(frames.back().input, frames.back().number - 1);
    }
    // Whatever no line took: bytes on lines of their own, then the messages.
    while (cursor.more()) apply(cursor.take());
    continuation_lines(0);
    for (InputMessages& q : messages_of) messages_up_to(q, INT64_MAX);
    for (const LoggedMessage* m : unplaced) message(*m);
  }
};

// Each section with its start, its last address and its size, by start.
void sections_table(LineOut& line, const NameTable* sections) {
  OutStream& out = line.out;
  std::vector<const Section*> list;
  table_visit(sections, [&](void* p) { list.push_back(static_cast<const Section*>(p)); });
  std::sort(list.begin(), list.end(), [](const Section* a, const Section* b) {
    return a->start != b->start ? a->start < b->start : std::strcmp(a->name, b->name) < 0;
  });
  out_write(out, "\nSections:\n", 11);
  for (const Section* s : list) {
    uint32_t start = static_cast<uint32_t>(s->start);
    size_t n = std::strlen(s->name);
    line.begin(Listing::COLUMNS + n);
    line.blanks(2);
    line.hex4(start);
    line.blanks(1);
    if (s->size > 0) line.hex4((start + static_cast<uint32_t>(s->size) - 1u) & 0xFFFF);
    else line.text("----", 4);
    line.blanks(1);
    line.number(s->size, 8);
    line.blanks(2);
    line.text(s->name, n);
    line.end();
  }
}

// Every name of the symbol table with its value, by name.
void labels_table(LineOut& line, const NameTable* symbols) {
  OutStream& out = line.out;
  std::vector<const Symbol*> list = sorted_symbols(symbols, false, false);
  size_t width = 0;
  for (const Symbol* s : list) width = std::max(width, std::strlen(s->name));
  width = std::min<size_t>(width, 32);
  out_write(out, "\nLabels:\n", 9);
  for (const Symbol* s : list) {
    size_t n = std::strlen(s->name);
    line.begin(Listing::COLUMNS + std::max(n, width));
    line.blanks(2);
    line.text(s->name, n);
    line.blanks(n < width ? width - n : 0);
    if (s->defined) {
      line.text("  $", 3);
      line.hex4(s->value);
    } else {
      line.text("  not defined", 13);
    }
    line.end();
  }
}

}  // namespace

void write_listing(OutStream& out, const LineLog& lines, const Placements& placed, const MessageLog& messages,
                   const NameTable* sections, const NameTable* symbols) {
  write_listing_lines(out, lines, placed, messages);
  write_listing_tables(out, sections, symbols);
}

void write_listing_lines(OutStream& out, const LineLog& lines, const Placements& placed, const MessageLog& messages) {
  Listing l(out, lines, placed);
  l.sort_messages(messages);
  l.all_lines();
}

void write_listing_messages(OutStream& out, const LoggedMessage* begin, const LoggedMessage* end) {
  LineOut line(out);
  for (const LoggedMessage* m = begin; m != end; m++) message_line(line, *m);
}

void write_listing_tables(OutStream& out, const NameTable* sections, const NameTable* symbols) {
  LineOut line(out);
  sections_table(line, sections);
  labels_table(line, symbols);
}

void write_label_file(OutStream& out, const NameTable* symbols) {
  std::vector<const Symbol*> list = sorted_symbols(symbols, true, true);
  static const char UPPER[] = "0123456789ABCDEF";
  for (const Symbol* s : list) {
    unsigned v = s->value;
    const char value[6] = {'$', UPPER[(v >> 12) & 15], UPPER[(v >> 8) & 15], UPPER[(v >> 4) & 15], UPPER[v & 15], ' '};
    out_write(out, value, 6);
    out_write(out, s->name, std::strlen(s->name));
    out_putc(out, '\n');
  }
}
