// The block scanner: the common tokens read straight from the reader's block, with the
// plain scanner behind it for everything else.
//
// Contract: a sequence of fast_next_token calls yields the same codes, token texts and
// token positions, and leaves the reader where the same sequence of next_token calls
// would. It handles names, keywords but INCLUDE, decimal and hexadecimal numbers,
// punctuation, plain character constants, strings, blanks, tabs, line feeds and comments
// that lie wholly inside the current block; anything else (characters pushed back, a token
// that may run past the block, a carriage return or $1A, in a string too, INCLUDE, end of
// input, a token too long) is left, unconsumed, to next_token. Not used in debug mode (it
// writes no trace).
#pragma once
#include <cstdint>
#include <cstring>
#include <string_view>

#include "source/reader.h"
#include "source/scanner.h"

// Keyword lookup without a walk of the table: every keyword is at most seven letters, so
// its letters and length packed into one number are its key, in a small open-addressing
// table. Keywords are all distinct, so the entry found is the one the walk would find.
struct KeywordIndex {
  static constexpr int SIZE = 256;
  static constexpr size_t LONGEST = 7;
  uint64_t key[SIZE] = {};
  int16_t code[SIZE] = {};
  static uint64_t pack(const char* t, size_t len) {
    uint64_t k = len;
    for (size_t i = 0; i < len; i++) k |= static_cast<uint64_t>(static_cast<unsigned char>(t[i])) << (8 * (i + 1));
    return k;
  }
  static int slot(uint64_t k) { return static_cast<int>((k * 0x9E3779B97F4A7C15ull) >> 56); }
  KeywordIndex() {
    for (const Keyword& kw : KEYWORDS) {
      uint64_t k = pack(kw.spelling, std::strlen(kw.spelling));
      int s = slot(k);
      while (key[s] != 0) s = (s + 1) % SIZE;
      key[s] = k;
      code[s] = static_cast<int16_t>(kw.code);
    }
  }
  int find(const char* text, size_t len) const {
    // Every keyword is upper case letters only.
    if (len > LONGEST || text[0] < 'A' || text[0] > 'Z') return -1;
    uint64_t k = pack(text, len);
    for (int s = slot(k);; s = (s + 1) % SIZE) {
      if (key[s] == k) return code[s];
      if (key[s] == 0) return -1;
    }
  }
};
inline const KeywordIndex keyword_index;

// Character classes by byte value, for the runs of names and numbers.
enum : uint8_t { CLASS_NAME = 1, CLASS_DIGIT = 2, CLASS_HEX = 4, CLASS_PUNCTUATION = 8 };
struct CharClasses {
  uint8_t of[256] = {};
  constexpr CharClasses() {
    for (int c = 0; c < 256; c++) {
      bool digit = c >= '0' && c <= '9';
      bool hex = digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
      bool punctuation = c != 0 && std::string_view("#%&()*+,-./:<>[]^|").find(static_cast<char>(c)) != std::string_view::npos;
      of[c] = static_cast<uint8_t>((is_name_char_at(c) ? CLASS_NAME : 0) | (digit ? CLASS_DIGIT : 0) | (hex ? CLASS_HEX : 0) |
                                   (punctuation ? CLASS_PUNCTUATION : 0));
    }
  }
  static constexpr bool is_name_char_at(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }
};
inline constexpr CharClasses char_classes{};

// Moves past blanks, tabs and line feeds, counting the position as the reader does.
// Indentation comes in runs of blanks: they are taken eight at a time.
inline const unsigned char* pass_blanks(const unsigned char* p, const unsigned char* end, SrcPos& pos) {
  static constexpr uint64_t BLANKS = 0x2020202020202020ull;
  for (;;) {
    while (end - p >= 8 && pos.col < POSITION_LIMIT - 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if (w != BLANKS) break;
      p += 8;
      pos.col += 8;
    }
    if (p == end) return p;
    unsigned char b = *p;
    if (b != ' ' && b != '\n' && b != '\t') return p;
    advance_position(pos, b);
    p++;
  }
}

// Moves past blanks and the comments whose line feed is in the block with no $1A before
// it. Returns the first byte of the next token (or the block's end).
inline const unsigned char* pass_blanks_and_comments(const unsigned char* p, const unsigned char* end, SrcPos& pos) {
  for (;;) {
    p = pass_blanks(p, end, pos);
    if (p == end || *p != ';') return p;
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    if (!lf || std::memchr(p, 0x1A, static_cast<size_t>(static_cast<const unsigned char*>(lf) - p))) return p;
    p = static_cast<const unsigned char*>(lf);
    advance_position(pos, *p++);
  }
}

// The token's text into the scanner's: names of up to 16 characters in one move of 16
// bytes when the block has them (the rest of the text is overwritten later or lies past
// its NUL).
inline void take_text(Scanner& sc, const unsigned char* from, size_t len, const unsigned char* end) {
  if (len <= 16 && end - from >= 16) std::memcpy(sc.text, from, 16);
  else std::memcpy(sc.text, from, len);
  sc.text[len] = '\0';
}

// One token cut from the bytes [p, end) of a block, read from position `pos` on: what the
// scanner's record and the reader's are to hold after it. Touches nothing else, so a
// second thread can cut the tokens of a block ahead of the pass (fast/prescan.h).
struct CutToken {
  const unsigned char* text = nullptr;  // the token's text, or null: the scanner's text stays
  size_t len = 0;
  SrcPos pos{0, 0};                     // where the token begins
  const unsigned char* pos_byte = nullptr;  // its first byte
  const unsigned char* next = nullptr;  // the reader's next byte after it; for a token left
  SrcPos next_pos;                      // to the plain scanner, its first byte
};

// A string that ends in the block, with no carriage return or $1A in it (which the reader
// drops or stops at), or -1 with nothing of it consumed.
inline int cut_string(const unsigned char* p, const unsigned char* end, SrcPos pos, CutToken& t) {
  const unsigned char* from = p + 1;
  const void* close = std::memchr(from, '"', static_cast<size_t>(end - from));
  if (!close) return -1;
  const unsigned char* q = static_cast<const unsigned char*>(close);
  size_t len = static_cast<size_t>(q - from);
  if (len > TOKEN_TEXT_SIZE - 1 || std::memchr(from, '\r', len) || std::memchr(from, 0x1A, len)) return -1;
  t.text = from;
  t.len = len;
  t.pos = pos;
  t.pos_byte = p;
  for (const unsigned char* c = p; c <= q; c++) advance_position(pos, *c);
  t.next = q + 1;
  t.next_pos = pos;
  return TOK_STRING;
}

// One common token from [p, end), or -1 when the plain scanner must cut it: t.next and
// t.next_pos then tell the blanks and comments passed before it.
[[gnu::always_inline]] inline int cut_token(const unsigned char* p, const unsigned char* end, SrcPos pos, CutToken& t) {
  p = pass_blanks_and_comments(p, end, pos);
  t.next = p;
  t.next_pos = pos;
  if (p == end) return -1;
  unsigned char b = *p;
  if (b == '\'') {
    // A character constant whose character moves the column by one and ends nothing.
    if (end - p < 2) return -1;
    unsigned char c = p[1];
    if (c == '\n' || c == '\t' || c == '\r' || c == 0x1A) return -1;
    t.text = p + 1;
    t.len = 1;
    t.pos = pos;
    t.pos_byte = p;
    t.next = p + 2;
    advance_position(t.next_pos, '\'');
    advance_position(t.next_pos, c);
    return TOK_CHAR_CONSTANT;
  }
  if (b == '"') return cut_string(p, end, pos, t);
  uint8_t cls = char_classes.of[b];
  if (cls & CLASS_PUNCTUATION) {
    t.text = nullptr;
    t.pos = pos;
    t.pos_byte = p;
    t.next = p + 1;
    advance_position(t.next_pos, b);
    return b;
  }
  int code;
  uint8_t run;
  const unsigned char* from = p;
  if (cls & CLASS_DIGIT) code = TOK_NUMBER, run = CLASS_DIGIT;
  else if (cls & CLASS_NAME) code = TOK_IDENT, run = CLASS_NAME;
  else if (b == '$') code = TOK_HEX_NUMBER, run = CLASS_HEX, from = p + 1;
  else return -1;
  const unsigned char* q = p + 1;
  while (q < end && (char_classes.of[*q] & run)) q++;
  size_t len = static_cast<size_t>(q - from);
  if (q == end || len > TOKEN_TEXT_SIZE - 1 || pos.col > POSITION_LIMIT - static_cast<int32_t>(q - p)) return -1;
  if (code == TOK_IDENT) {
    int k = keyword_index.find(reinterpret_cast<const char*>(from), len);
    if (k == TOK_INCLUDE) return -1;
    if (k >= 0) code = k;
  }
  t.text = from;
  t.len = len;
  t.pos = pos;
  t.pos_byte = p;
  t.next = q;
  t.next_pos.col += static_cast<int32_t>(q - p);
  return code;
}

// One common token from the block, or -1 with nothing of it consumed.
[[gnu::always_inline]] inline int fast_scan(Reader& r, Scanner& sc) {
  if (!r.unget.empty()) return -1;
  InputStream& in = *r.current;
  CutToken t;
  int code = cut_token(in.p, in.end, in.pos, t);
  in.p = t.next;
  in.pos = t.next_pos;
  if (code < 0) return -1;
  if (t.text) take_text(sc, t.text, t.len, in.end);
  sc.token_pos = t.pos;
  return code;
}

// The next token: from the block where it can, else from the plain scanner.
inline int fast_next_token() {
  int code = fast_scan(*g->reader, *g->scanner);
  return code >= 0 ? code : next_token();
}
