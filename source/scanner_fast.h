// The scanner's common path, inline for the pass loop: the tokens that lie wholly in the
// current block, read straight from it. Everything else goes to next_token_general().
#pragma once
#include <cstdint>
#include <cstring>

#include "assembly/name_table.h"
#include "driver/run.h"
#include "source/scanner.h"

// Keywords of three letters (the mnemonics and ORG) by their letters packed into one
// number, in a small open-addressing table; the others are told apart by length. The table
// has no duplicates, so the entry found is the first equal one in table order.
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
inline const KeywordIndex keyword_index;

inline int keyword_find(const char* text, size_t len) {
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


// Character classes by byte value, for the runs of names and numbers.
enum : uint8_t { CLASS_NAME = 1, CLASS_DIGIT = 2, CLASS_HEX = 4 };
struct CharClasses {
  uint8_t of[256] = {};
  constexpr CharClasses() {
    for (int c = 0; c < 256; c++) {
      bool digit = c >= '0' && c <= '9';
      bool name = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || digit || c == '_';
      bool hex = digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
      of[c] = static_cast<uint8_t>((name ? CLASS_NAME : 0) | (digit ? CLASS_DIGIT : 0) | (hex ? CLASS_HEX : 0));
    }
  }
};
inline constexpr CharClasses char_classes{};

inline bool is_punctuation(int c) {
  switch (c) {
    case '#': case '%': case '&': case '(': case ')': case '*': case '+': case ',': case '-':
    case '.': case '/': case ':': case '<': case '>': case '[': case ']': case '^': case '|':
      return true;
    default:
      return false;
  }
}


// Moves past blanks, tabs and line feeds, counting the position. Indentation comes in runs
// of blanks: they are taken eight at a time.
inline const unsigned char* pass_blanks(const unsigned char* p, const unsigned char* end, int32_t& line,
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


// The common tokens, read straight from the block: names, decimal and hexadecimal
// numbers and punctuation that lie wholly inside the block. Blanks before the token are
// skipped in any case. Returns -1, with nothing of the token consumed, when the general
// path must decide (anything else, a token that may run past the block, a token too long,
// characters pushed back). The token's text stays in the block, which only the general
// path reads further or refills.
[[gnu::always_inline]] inline int fast_scan(Reader& r, FastToken& t) {
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
  t.pos = SrcPos{line, col};
  t.key = 0;
  if (b == '\'') {
    // A character constant whose character is plain (no line end, tab, carriage return
    // or $1A, which move the position or end the input).
    if (end - p < 2) return -1;
    unsigned char c = p[1];
    if (c == '\n' || c == '\t' || c == '\r' || c == 0x1A) return -1;
    t.text = p + 1;
    t.length = 1;
    t.wide = false;
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
    t.text = nullptr;
    in.p = p + 1;
    in.pos.col = col + 1;
    return b;
  } else {
    return -1;
  }
  size_t len = static_cast<size_t>(q - from);
  if (q == end || len > TOKEN_TEXT_SIZE - 1) return -1;
  if (code == TOK_IDENT) {
    int k = keyword_find(reinterpret_cast<const char*>(from), len);
    // INCLUDE takes the general path: nothing of it is consumed.
    if (k == TOK_INCLUDE) return -1;
    if (k >= 0) code = k;
    else t.key = table_key(reinterpret_cast<const char*>(from), len);  // its lookup follows with this key
  }
  t.text = from;
  t.length = static_cast<uint32_t>(len);
  t.wide = end - from >= 16;
  in.p = q;
  in.pos.col = col + static_cast<int32_t>(q - p);
  return code;
}

// Hands a common token over to the scanner: its position, and its text and key when it
// has a text (punctuation leaves them as they were).
[[gnu::always_inline]] inline void fast_hand_over(Scanner& sc, const FastToken& t) {
  sc.token_pos = t.pos;
  if (!t.text) return;
  if (t.length <= 16 && t.wide) {
    std::memcpy(sc.text, t.text, 16);  // short texts in one move; the rest is overwritten later
  } else {
    std::memcpy(sc.text, t.text, t.length);
  }
  sc.text[t.length] = '\0';
  sc.text_key = t.key;
}

[[gnu::always_inline]] inline int fast_token(Reader& r, Scanner& sc) {
  FastToken t;
  int code = fast_scan(r, t);
  if (code >= 0) fast_hand_over(sc, t);
  return code;
}
