// Token scanner and keyword table.
#include "source/scanner.h"

#include <cstring>

#include "assembly/name_table.h"
#include "driver/run.h"
#include "source/scanner_fast.h"

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

static int keyword_lookup_len(const char* text, size_t len) {
  int code = keyword_find(text, len);
  if (code >= 0 && g->debug) note("Keyword:%s\n", text);
  return code;
}

int keyword_lookup(const char* text) { return keyword_lookup_len(text, std::strlen(text)); }

static bool is_digit(int c) { return c >= '0' && c <= '9'; }

template <uint8_t CLASS>
struct InClass {
  bool operator()(int c) const { return c >= 0 && c < 256 && (char_classes.of[c] & CLASS); }
};

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

// Skips blanks, tabs and line feeds straight from the block.
static inline void skip_blanks(Reader& r) {
  if (r.unget_count != 0) return;
  InputStream& in = *r.current;
  in.p = pass_blanks(in.p, in.end, in.pos.line, in.pos.col);
}

int next_token() {
  if (!g->debug) {
    int code = fast_token(g->reader, g->scanner);
    if (code >= 0) return code;
  }
  return next_token_general();
}

__attribute__((noinline)) int next_token_general() {
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
