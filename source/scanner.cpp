// Token scanner and keyword table.
#include "source/scanner.h"

#include <cstring>

#include "assembly/name_table.h"
#include "driver/run.h"

const KeywordEntry keyword_table[68] = {
    {"ADC", 256}, {"AND", 257}, {"ASL", 258}, {"BCC", 259}, {"BCS", 260}, {"BEQ", 261},
    {"BMI", 262}, {"BNE", 263}, {"BPL", 264}, {"BVC", 265}, {"BVS", 266}, {"BIT", 267},
    {"BRK", 268}, {"CLC", 269}, {"CLD", 270}, {"CLI", 271}, {"CLV", 272}, {"CMP", 273},
    {"CPX", 274}, {"CPY", 275}, {"DEC", 276}, {"DEX", 277}, {"DEY", 278}, {"EOR", 279},
    {"INC", 280}, {"INX", 281}, {"INY", 282}, {"JMP", 283}, {"JSR", 284}, {"LDA", 285},
    {"LDX", 286}, {"LDY", 287}, {"LSR", 288}, {"NOP", 289}, {"ORA", 290}, {"PHA", 291},
    {"PLA", 292}, {"PHP", 293}, {"PLP", 294}, {"ROL", 295}, {"ROR", 296}, {"RTI", 297},
    {"RTS", 298}, {"STA", 299}, {"SEC", 300}, {"SED", 301}, {"SEI", 302}, {"SVC", 303},
    {"STX", 304}, {"STY", 305}, {"SBC", 306}, {"TAX", 307}, {"TAY", 308}, {"TXA", 309},
    {"TYA", 310}, {"TXS", 311}, {"TSX", 312}, {"A", 313},     {"X", 314},   {"Y", 315},
    {"ORG", 319}, {"DB", 320},  {"DW", 321},  {"DL", 322},  {"DS", 323},  {"INCLUDE", 326},
    {"SECTION", 327}, {nullptr, -1},
};

bool is_name_char(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Keywords of three letters (the mnemonics and ORG) by their letters packed into one
// number, in a small open-addressing table; the others are told apart by length. The table
// has no duplicates, so the entry found is the first equal one in table order.
namespace {
constexpr uint32_t pack3(const char* t) {
  return static_cast<uint32_t>(static_cast<unsigned char>(t[0])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(t[1])) << 8 | static_cast<unsigned char>(t[2]);
}
struct KeywordIndex {
  static constexpr int SIZE = 256;
  uint32_t key[SIZE] = {};
  int16_t code[SIZE] = {};
  static int slot(uint32_t k) { return static_cast<int>((k * 2654435761u) >> 24); }
  KeywordIndex() {
    for (int i = 0; keyword_table[i].keyword; i++) {
      const char* kw = keyword_table[i].keyword;
      if (std::strlen(kw) != 3) continue;
      uint32_t k = pack3(kw);
      int s = slot(k);
      while (key[s] != 0) s = (s + 1) % SIZE;
      key[s] = k;
      code[s] = static_cast<int16_t>(keyword_table[i].code);
    }
  }
  int find3(uint32_t k) const {
    for (int s = slot(k);; s = (s + 1) % SIZE) {
      if (key[s] == k) return code[s];
      if (key[s] == 0) return -1;
    }
  }
};
const KeywordIndex keyword_index;
}  // namespace

static inline int keyword_find(const char* text, size_t len) {
  unsigned char c = static_cast<unsigned char>(text[0]);
  if (c < 'A' || c > 'Z') return -1;
  switch (len) {
    case 1:
      return c == 'A' ? TOK_A : c == 'X' ? TOK_X : c == 'Y' ? TOK_Y : -1;
    case 2:
      if (c != 'D') return -1;
      switch (text[1]) {
        case 'B': return TOK_DB;
        case 'W': return TOK_DW;
        case 'L': return TOK_DL;
        case 'S': return TOK_DS;
        default: return -1;
      }
    case 3:
      return keyword_index.find3(pack3(text));
    case 7:
      if (std::memcmp(text, "INCLUDE", 7) == 0) return TOK_INCLUDE;
      if (std::memcmp(text, "SECTION", 7) == 0) return TOK_SECTION;
      return -1;
    default:
      return -1;
  }
}

static int keyword_lookup_len(const char* text, size_t len) {
  int code = keyword_find(text, len);
  if (code >= 0 && g->debug) note("Keyword:%s\n", text);
  return code;
}

int keyword_lookup(const char* text) { return keyword_lookup_len(text, std::strlen(text)); }

static bool is_hex_digit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
static bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Character classes by byte value, for the runs of names and numbers.
enum : uint8_t { CLASS_NAME = 1, CLASS_DIGIT = 2, CLASS_HEX = 4 };
struct CharClasses {
  uint8_t of[256];
  CharClasses() {
    for (int c = 0; c < 256; c++)
      of[c] = static_cast<uint8_t>((is_name_char(c) ? CLASS_NAME : 0) | (is_digit(c) ? CLASS_DIGIT : 0) |
                                   (is_hex_digit(c) ? CLASS_HEX : 0));
  }
};
static const CharClasses char_classes;
template <uint8_t CLASS>
struct InClass {
  bool operator()(int c) const { return c >= 0 && c < 256 && (char_classes.of[c] & CLASS); }
};

static bool is_punctuation(int c) {
  switch (c) {
    case '#': case '%': case '&': case '(': case ')': case '*': case '+': case ',': case '-':
    case '.': case '/': case ':': case '<': case '>': case '[': case ']': case '^': case '|':
      return true;
    default:
      return false;
  }
}

[[noreturn]] static void token_too_long() {
  const SrcPos& p = g->scanner.token_pos;
  fatal("Token Too Long, line %d, column %d\n", p.line, p.col);
}

// Appends characters while `keep` holds; the first other character is left for the next
// token (read and pushed back). Runs of kept bytes are taken straight from the block: they
// are never line ends, tabs, carriage returns or $1A, so each moves the column by one.
template <typename Keep>
static void read_run(int& len, Keep keep) {
  Reader& r = g->reader;
  char* text = g->scanner.text;
  for (;;) {
    if (r.unget_count == 0) {
      InputStream& in = *r.current;
      const unsigned char* p = in.p;
      const unsigned char* end = in.end;
      const unsigned char* stop = p + (TOKEN_TEXT_SIZE - 1 - len);
      if (stop > end) stop = end;
      while (p < stop && keep(*p)) text[len++] = static_cast<char>(*p++);
      in.pos.col += static_cast<int32_t>(p - in.p);
      in.p = p;
      if (p < end && !keep(*p) && *p != '\r' && *p != 0x1A) break;  // the next token's first byte
    }
    int c = reader_getc();
    if (c == END_OF_INPUT || !keep(c)) {
      reader_ungetc(c);
      break;
    }
    if (len >= TOKEN_TEXT_SIZE - 1) token_too_long();
    text[len++] = static_cast<char>(c);
  }
  text[len] = '\0';
}

// Skips the rest of a comment line, up to and including its line feed.
static void skip_comment() {
  Reader& r = g->reader;
  for (;;) {
    if (r.unget_count == 0) {
      InputStream& in = *r.current;
      const unsigned char* p = in.p;
      const void* lf = std::memchr(p, '\n', static_cast<size_t>(in.end - p));
      const unsigned char* stop = lf ? static_cast<const unsigned char*>(lf) : in.end;
      const void* eof = std::memchr(p, 0x1A, static_cast<size_t>(stop - p));
      p = eof ? static_cast<const unsigned char*>(eof) : stop;
      in.p = p;  // the column no longer matters: the line ends here
      if (p < in.end && *p == '\n') {
        in.p++;
        in.pos.line++;
        in.pos.col = 1;
        return;
      }
    }
    int c = reader_getc();
    if (c == END_OF_INPUT) fatal("Unexpected end of file\n");
    if (c == '\n') return;
  }
}

// Moves past blanks, tabs and line feeds, counting the position. Indentation comes in runs
// of blanks: they are taken eight at a time.
static inline const unsigned char* pass_blanks(const unsigned char* p, const unsigned char* end, int32_t& line,
                                               int32_t& col) {
  static constexpr uint64_t BLANKS = 0x2020202020202020ull;
  for (;;) {
    while (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if (w != BLANKS) break;
      p += 8;
      col += 8;
    }
    if (p == end) return p;
    unsigned char b = *p;
    if (b == ' ') {
      col++;
    } else if (b == '\n') {
      line++;
      col = 1;
    } else if (b == '\t') {
      col += 8 - (col - 1) % 8;
    } else {
      return p;
    }
    p++;
  }
}

// Skips blanks, tabs and line feeds straight from the block.
static inline void skip_blanks(Reader& r) {
  if (r.unget_count != 0) return;
  InputStream& in = *r.current;
  in.p = pass_blanks(in.p, in.end, in.pos.line, in.pos.col);
}

// The common tokens, read straight from the block: names, decimal and hexadecimal
// numbers and punctuation that lie wholly inside the block. Blanks before the token are
// skipped in any case. Returns -1, with nothing of the token consumed, when the general
// path must decide (anything else, a token that may run past the block, a token too long,
// characters pushed back).
static inline int fast_token(Reader& r, Scanner& sc) {
  if (r.unget_count != 0) return -1;
  InputStream& in = *r.current;
  const unsigned char* p = in.p;
  const unsigned char* end = in.end;
  int32_t line = in.pos.line, col = in.pos.col;
  for (;;) {
    p = pass_blanks(p, end, line, col);
    if (p == end || *p != ';') break;
    // A comment whose line feed is in the block, with no $1A before it, ends there.
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    if (!lf || std::memchr(p, 0x1A, static_cast<size_t>(static_cast<const unsigned char*>(lf) - p))) break;
    p = static_cast<const unsigned char*>(lf) + 1;
    line++;
    col = 1;
  }
  in.p = p;
  in.pos = SrcPos{line, col};
  if (p == end) return -1;
  unsigned char b = *p;
  if (b == '\'') {
    // A character constant whose character is plain (no line end, tab, carriage return
    // or $1A, which move the position or end the input).
    if (end - p < 2) return -1;
    unsigned char c = p[1];
    if (c == '\n' || c == '\t' || c == '\r' || c == 0x1A) return -1;
    sc.text[0] = static_cast<char>(c);
    sc.text[1] = '\0';
    sc.text_key = 0;
    sc.token_pos = SrcPos{line, col};
    in.p = p + 2;
    in.pos.col = col + 2;
    return TOK_CHAR_CONSTANT;
  }
  uint8_t cls = char_classes.of[b];
  int code;
  const unsigned char* q = p + 1;
  const unsigned char* from = p;
  if (cls & CLASS_DIGIT) {
    while (q < end && (char_classes.of[*q] & CLASS_DIGIT)) q++;
    code = TOK_NUMBER;
  } else if (cls & CLASS_NAME) {
    while (q < end && (char_classes.of[*q] & CLASS_NAME)) q++;
    code = TOK_IDENT;
  } else if (b == '$') {
    while (q < end && (char_classes.of[*q] & CLASS_HEX)) q++;
    code = TOK_HEX_NUMBER;
    from = p + 1;
  } else if (is_punctuation(b)) {
    sc.token_pos = SrcPos{line, col};
    in.p = p + 1;
    in.pos.col = col + 1;
    return b;
  } else {
    return -1;
  }
  size_t len = static_cast<size_t>(q - from);
  if (q == end || len > TOKEN_TEXT_SIZE - 1) return -1;
  if (len <= 16 && end - from >= 16) {
    std::memcpy(sc.text, from, 16);  // short names in one move; the rest is overwritten later
  } else {
    std::memcpy(sc.text, from, len);
  }
  sc.text[len] = '\0';
  sc.text_key = 0;
  sc.token_pos = SrcPos{line, col};
  in.p = q;
  in.pos.col = col + static_cast<int32_t>(q - p);
  if (code == TOK_IDENT) {
    int k = keyword_find(sc.text, len);
    if (k >= 0 && k != TOK_INCLUDE) return k;
    if (k == TOK_INCLUDE) {
      // INCLUDE takes the general path: give the name back.
      in.p = p;
      in.pos.col = col;
      return -1;
    }
    // A name: its lookup follows at once. Its key now, and the memory that lookup reads
    // asked for already.
    uint64_t key = table_key(sc.text, len);
    sc.text_key = key;
    if (g->symbols) table_prefetch(g->symbols, key);
  }
  return code;
}

static int next_token_general();

int next_token() {
  if (!g->debug) {
    int code = fast_token(g->reader, g->scanner);
    if (code >= 0) return code;
  }
  return next_token_general();
}

__attribute__((noinline)) static int next_token_general() {
  Scanner& sc = g->scanner;
  Reader& r = g->reader;
  sc.text_key = 0;  // whatever text this path sets, its key is not worked out here
  if (g->debug) note("Enter Lex\n");
  for (;;) {
    skip_blanks(r);
    int c = reader_getc_fast(r);
    sc.token_pos = g->reader.char_pos;
    switch (c) {
      case END_OF_INPUT:
        if (include_depth() != 0) {
          include_return();
          continue;
        }
        return TOK_EOF;
      case '\t': case '\n': case '\r': case ' ':
        continue;
      case ';':
        skip_comment();
        if (g->debug) note("Comment\n");
        continue;
      case '"': {
        int len = 0;
        for (;;) {
          c = reader_getc();
          if (c == END_OF_INPUT) fatal("Unexpected end of file\n");
          if (c == '"') break;
          if (len >= TOKEN_TEXT_SIZE - 1) token_too_long();
          sc.text[len++] = static_cast<char>(c);
        }
        sc.text[len] = '\0';
        if (g->debug) note("STRING %s\n", sc.text);
        return TOK_STRING;
      }
      case '$': {
        int len = 0;
        read_run(len, InClass<CLASS_HEX>());
        if (g->debug) note("CONSTANT %s\n", sc.text);
        return TOK_HEX_NUMBER;
      }
      case '\'':
        c = reader_getc();
        if (c == END_OF_INPUT) fatal("Unexpected end of file\n");
        sc.text[0] = static_cast<char>(c);
        sc.text[1] = '\0';
        return TOK_CHAR_CONSTANT;
      default:
        break;
    }
    if (is_digit(c)) {
      int len = 1;
      sc.text[0] = static_cast<char>(c);
      read_run(len, InClass<CLASS_DIGIT>());
      if (g->debug) note("CONSTANT %s\n", sc.text);
      return TOK_NUMBER;
    }
    if (is_punctuation(c)) return c;
    // A name: whatever character starts it, then name characters.
    int len = 1;
    sc.text[0] = static_cast<char>(c);
    read_run(len, InClass<CLASS_NAME>());
    // Only the first character of a name can be a NUL byte, which leaves the text empty.
    int code = keyword_lookup_len(sc.text, sc.text[0] ? static_cast<size_t>(len) : 0);
    if (code < 0) {
      if (g->debug) note("SYNBOL:%s\n", sc.text);
      return TOK_IDENT;
    }
    if (code == TOK_INCLUDE) {
      SrcPos include_pos = sc.token_pos;
      int t = next_token();
      if (t != TOK_STRING) fatal("BAD INCLUDE\n");
      include_enter(sc.text);
      sc.token_pos = include_pos;
      continue;
    }
    if (g->debug) note("TOKEN:%s\n", sc.text);
    return code;
  }
}
