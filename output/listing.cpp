// The listing and the label file.
#include "output/listing.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "assembly/section.h"
#include "assembly/symbol.h"

namespace {

const char HEX[] = "0123456789abcdef";

// The symbols (the defined ones only, or all) sorted by name, byte by byte, or by value and
// then by name: by the first sixteen bytes of each name as two numbers first, by the whole
// names only where those agree (names of a program share long beginnings).
std::vector<const Symbol*> sorted_symbols(const NameTable* symbols, bool defined_only, bool by_value) {
  struct Keyed {
    uint64_t high, low;
    uint32_t value;
    const Symbol* symbol;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(static_cast<size_t>(symbols->element_count));
  table_visit(symbols, [&](void* p) {
    const Symbol* s = static_cast<const Symbol*>(p);
    if (defined_only && !s->defined) return;
    uint64_t key[2] = {0, 0};
    for (size_t i = 0; i < 16 && s->name[i]; i++)
      key[i / 8] |= static_cast<uint64_t>(static_cast<uint8_t>(s->name[i])) << (56 - 8 * (i % 8));
    keyed.push_back(Keyed{key[0], key[1], by_value ? s->value : 0u, s});
  });
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.value != b.value) return a.value < b.value;
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return std::strcmp(a.symbol->name, b.symbol->name) < 0;
  });
  std::vector<const Symbol*> list(keyed.size());
  for (size_t i = 0; i < keyed.size(); i++) list[i] = keyed[i].symbol;
  return list;
}
constexpr size_t BYTES_A_LINE = 4;
constexpr size_t BYTES_WIDTH = 13;  // four bytes, each "xx ", and a blank

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
      start = out_reserve(out, most);
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
    o[0] = HEX[(v >> 12) & 15];
    o[1] = HEX[(v >> 8) & 15];
    o[2] = HEX[(v >> 4) & 15];
    o[3] = HEX[v & 15];
    o += 4;
  }
  void hex2(uint8_t b) {
    o[0] = HEX[b >> 4];
    o[1] = HEX[b & 15];
    o += 2;
  }
};

// The address at which the current section stands, or none.
struct Place {
  const Section* section = nullptr;
  int32_t counter = 0;
  uint32_t address() const {
    return (static_cast<uint32_t>(section->start) + static_cast<uint32_t>(counter)) & 0xFFFF;
  }
};

// Bytes at consecutive addresses of one section, at most four.
struct Run {
  const Section* section;
  uint32_t address;
  uint8_t bytes[BYTES_A_LINE];
  size_t count;
};

struct Listing {
  OutStream& out;
  const LineLog& log;
  const Placements& placed;
  struct Message {
    const LoggedMessage* m;
    int32_t line;  // the line it is written under
  };
  std::vector<std::vector<Message>> messages_of;  // by input, sorted by line
  std::vector<size_t> message_next;               // by input: the next to write
  std::vector<const LoggedMessage*> unplaced;
  size_t next_placement = 0;
  size_t next_byte = 0;  // the bytes of placed.list[next_placement] begin here
  Place place;
  LineOut line;
  std::vector<Run> runs;

  Listing(OutStream& o, const LineLog& l, const Placements& p) : out(o), log(l), placed(p), line(o) {}

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

  void bytes_column(const Run* run) {
    char* from = line.o;
    for (size_t i = 0; run && i < run->count; i++) {
      line.hex2(run->bytes[i]);
      line.blanks(1);
    }
    line.blanks(BYTES_WIDTH - static_cast<size_t>(line.o - from));
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

  void message(const LoggedMessage& m) {
    line.begin(m.text.size() + 5);
    line.text("*** ", 4);
    line.text(m.text.data(), m.text.size());
    line.end();
  }

  // The placement's bytes, appended to the runs.
  void add_bytes(const Section* s, int32_t from, int32_t to) {
    uint32_t start = static_cast<uint32_t>(s->start) + static_cast<uint32_t>(std::max(from, 0));
    uint32_t count = placed_byte_count(PLACED_BYTES, s, from, to);
    if (count > placed.bytes.size() - next_byte) return;  // cannot be: they were copied
    const uint8_t* bytes = placed.bytes.data() + next_byte;
    next_byte += count;
    for (uint32_t i = 0; i < count; i++) {
      uint32_t address = (start + i) & 0xFFFF;
      uint8_t b = bytes[i];
      Run* last = runs.empty() ? nullptr : &runs.back();
      if (last && last->section == s && last->count < BYTES_A_LINE &&
          ((last->address + last->count) & 0xFFFF) == address) {
        last->bytes[last->count++] = b;
      } else {
        Run& run = runs.emplace_back();
        run.section = s;
        run.address = address;
        run.bytes[0] = b;
        run.count = 1;
      }
    }
  }

  const Section* section_of(const Placement& p) const {
    return p.section > 0 && p.section <= placed.sections.size() ? placed.sections[p.section - 1] : nullptr;
  }

  void apply(const Placement& p) {
    const Section* s = section_of(p);
    if (!s) return;  // not placed: the run stopped before
    int32_t from = place.counter;  // where the statement before left it
    place.section = s;
    place.counter = p.to;
    if (p.kind == PLACED_BYTES) add_bytes(s, from, p.to);
  }

  // Byte runs on lines of their own, each with its address.
  void continuation_lines(size_t from) {
    for (size_t i = from; i < runs.size(); i++) {
      line.begin(COLUMNS);
      columns(0, 0, true, runs[i].address);
      bytes_column(&runs[i]);
      line.end();
    }
    runs.clear();
  }

  // Statements that begin on a line already written (after an INCLUDE on the same line):
  // their bytes on lines of their own.
  void late_placements(int32_t input, int32_t up_to_line) {
    size_t n = placed.list.size();
    while (next_placement < n && placed.list[next_placement].input == input &&
           placed.list[next_placement].line <= up_to_line)
      apply(placed.list[next_placement++]);
    continuation_lines(0);
  }

  void messages_up_to(int32_t input, int64_t up_to_line) {
    if (static_cast<size_t>(input) >= messages_of.size()) return;
    const std::vector<Message>& list = messages_of[static_cast<size_t>(input)];
    size_t& k = message_next[static_cast<size_t>(input)];
    while (k < list.size() && list[k].line <= up_to_line) message(*list[k++].m);
  }

  // One source line, with what the statements that begin on it placed, and its messages.
  void source_line(int32_t input, int32_t number, int32_t depth, const char* p, size_t n) {
    size_t count = placed.list.size();
    auto on_this_line = [&]() {
      return next_placement < count && placed.list[next_placement].input == input &&
             placed.list[next_placement].line <= number;
    };
    // A section switch shows the section's name; the address is where the line's first
    // other statement begins (where the next byte goes when there is none).
    const char* name = nullptr;
    while (on_this_line() && placed.list[next_placement].kind == PLACED_SECTION) {
      const Placement& p = placed.list[next_placement++];
      if (!name && section_of(p)) name = section_of(p)->name;
      apply(p);
    }
    bool with_address = place.section != nullptr;
    uint32_t address = with_address ? place.address() : 0;
    const Section* at_start = place.section;
    while (on_this_line()) apply(placed.list[next_placement++]);
    size_t name_length = name ? std::strlen(name) : 0;
    line.begin(COLUMNS + name_length + n * 8);
    size_t first_run = 0;
    if (!name && number < 1000000 && depth < 100) {
      // The common line: the fixed columns filled into blanks.
      const Run* run = !runs.empty() && runs[0].section == at_start && runs[0].address == address ? &runs[0] : nullptr;
      first_run = run ? 1 : 0;
      char* o = line.o;
      std::memset(o, ' ', 32);
      uint32_t v = static_cast<uint32_t>(number);
      for (int i = 5; i >= 0; i--) {
        o[i] = static_cast<char>('0' + v % 10);
        v /= 10;
        if (v == 0) break;
      }
      if (depth > 0) {
        o[7] = '+';
        if (depth >= 10) o[8] = static_cast<char>('0' + depth / 10), o[9] = static_cast<char>('0' + depth % 10);
        else o[8] = static_cast<char>('0' + depth);
      }
      if (with_address) {
        o[11] = HEX[(address >> 12) & 15];
        o[12] = HEX[(address >> 8) & 15];
        o[13] = HEX[(address >> 4) & 15];
        o[14] = HEX[address & 15];
      }
      for (size_t i = 0; run && i < run->count; i++) {
        o[17 + 3 * i] = HEX[run->bytes[i] >> 4];
        o[18 + 3 * i] = HEX[run->bytes[i] & 15];
      }
      line.o = o + 30;
      if (!std::memchr(p, '\t', n)) line.text(p, n);
      else text(p, n);
      line.end();
      continuation_lines(first_run);
      return messages_up_to(input, number);
    }
    columns(number, depth, with_address, address);
    if (name) {
      *line.o++ = '[';
      line.text(name, name_length);
      *line.o++ = ']';
      line.blanks(name_length + 2 < BYTES_WIDTH ? BYTES_WIDTH - name_length - 2 : 1);
    } else if (!runs.empty() && runs[0].section == at_start && runs[0].address == address) {
      bytes_column(&runs[0]);
      first_run = 1;
    } else {
      bytes_column(nullptr);
    }
    text(p, n);
    line.end();
    continuation_lines(first_run);
    messages_up_to(input, number);
  }

  // The messages, by the input and line they point at, in the order written; a message
  // that pass 2 wrote as pass 1 did (a syntax error) once.
  void sort_messages(const MessageLog& messages) {
    messages_of.assign(log.inputs.size(), {});
    message_next.assign(log.inputs.size(), 0);
    for (const LoggedMessage& m : messages.list) {
      int32_t input = m.input, line_number = m.line;
      if (m.placed && m.line == 0 && m.pass == 2 && m.statement < placed.list.size()) {
        // Its position is not known (pass 2 replayed without positions): the line where
        // the statement it came from begins.
        input = placed.list[m.statement].input;
        line_number = placed.list[m.statement].line;
      }
      if (m.placed && line_number > 0 && input >= 0 && static_cast<size_t>(input) < log.inputs.size())
        messages_of[static_cast<size_t>(input)].push_back(Message{&m, line_number});
      else
        unplaced.push_back(&m);
    }
    for (auto& list : messages_of) {
      std::stable_sort(list.begin(), list.end(), [](const Message& a, const Message& b) { return a.line < b.line; });
      std::vector<Message> once;
      for (const Message& m : list) {
        bool seen = false;
        for (size_t i = once.size(); i-- > 0 && once[i].line == m.line;)
          if (once[i].m->pass != m.m->pass && once[i].m->col == m.m->col && once[i].m->text == m.m->text) seen = true;
        if (!seen) once.push_back(m);
      }
      list.swap(once);
    }
  }

  // The inputs in the order read: each one's lines, and after the line of each INCLUDE the
  // lines of the file it entered.
  void all_lines() {
    struct Frame {
      int32_t input;
      const char* p;    // the rest of its text
      const char* end;  // its end ($1A ends it early)
      int32_t number;   // the next line's number
      size_t entered;   // the next include it entered
    };
    std::vector<Frame> frames;
    auto enter = [&](int32_t input) {
      if (input < 0 || static_cast<size_t>(input) >= log.inputs.size()) return;
      const std::string& t = log.texts[log.inputs[static_cast<size_t>(input)].text];
      const char* end = t.data() + t.size();
      if (const void* eof = std::memchr(t.data(), 0x1A, t.size())) end = static_cast<const char*>(eof);
      frames.push_back(Frame{input, t.data(), end, 1, 0});
    };
    enter(0);
    while (!frames.empty()) {
      Frame& f = frames.back();
      const LoggedInput& in = log.inputs[static_cast<size_t>(f.input)];
      bool more = f.p < f.end;
      if (f.entered < in.entered.size() && (in.entered[f.entered].line < f.number || !more)) {
        int32_t child = in.entered[f.entered++].input;
        late_placements(f.input, f.number - 1);
        enter(child);
        continue;
      }
      if (!more) {
        late_placements(f.input, INT32_MAX);
        messages_up_to(f.input, INT64_MAX);
        frames.pop_back();
        if (!frames.empty()) late_placements(frames.back().input, frames.back().number - 1);
        continue;
      }
      const char* lf = static_cast<const char*>(std::memchr(f.p, '\n', static_cast<size_t>(f.end - f.p)));
      const char* stop = lf ? lf : f.end;
      size_t n = static_cast<size_t>(stop - f.p);
      if (lf && n > 0 && f.p[n - 1] == '\r') n--;  // read as the line feed alone
      int32_t number = f.number;
      const char* p = f.p;
      f.p = lf ? lf + 1 : f.end;
      if (f.number < INT32_MAX) f.number++;
      source_line(f.input, number, in.depth, p, n);
    }
    // Whatever no line took: bytes on lines of their own, then the messages.
    while (next_placement < placed.list.size()) apply(placed.list[next_placement++]);
    continuation_lines(0);
    for (size_t i = 0; i < messages_of.size(); i++) messages_up_to(static_cast<int32_t>(i), INT64_MAX);
    for (const LoggedMessage* m : unplaced) message(*m);
  }

  // Each section with its start, its last address and its size, by start.
  void sections_table(const NameTable* sections) {
    std::vector<const Section*> list;
    table_visit(sections, [&](void* p) { list.push_back(static_cast<const Section*>(p)); });
    std::sort(list.begin(), list.end(), [](const Section* a, const Section* b) {
      return a->start != b->start ? a->start < b->start : std::strcmp(a->name, b->name) < 0;
    });
    out_write(out, "\nSections:\n", 11);
    for (const Section* s : list) {
      uint32_t start = static_cast<uint32_t>(s->start);
      size_t n = std::strlen(s->name);
      line.begin(COLUMNS + n);
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
  void labels_table(const NameTable* symbols) {
    std::vector<const Symbol*> list = sorted_symbols(symbols, false, false);
    size_t width = 0;
    for (const Symbol* s : list) width = std::max(width, std::strlen(s->name));
    width = std::min<size_t>(width, 32);
    out_write(out, "\nLabels:\n", 9);
    for (const Symbol* s : list) {
      size_t n = std::strlen(s->name);
      line.begin(COLUMNS + std::max(n, width));
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
};

}  // namespace

void write_listing(OutStream& out, const LineLog& lines, const Placements& placed, const MessageLog& messages,
                   const NameTable* sections, const NameTable* symbols) {
  Listing l(out, lines, placed);
  l.sort_messages(messages);
  l.all_lines();
  l.sections_table(sections);
  l.labels_table(symbols);
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
