// Token scanner: cuts the source into tokens, skips white space and comments, and carries
// out INCLUDE statements itself. In debug mode it traces its work on standard error.
#pragma once
#include <cstdint>

#include "source/reader.h"
#include "source/tokens.h"

constexpr int TOKEN_TEXT_SIZE = 2048;  // at most 2047 characters and the NUL

struct KeywordEntry {
  const char* keyword;  // null in the closing entry
  int code;             // -1 in the closing entry
};
extern const KeywordEntry keyword_table[68];  // 67 keywords in order, then the closing entry

struct Scanner {
  char text[TOKEN_TEXT_SIZE] = {};  // text of the most recent token that sets it
  SrcPos token_pos{1, 1};      // position of the first character of the last token
  // The symbol index's key of `text`, when the scanner worked it out (a name read straight
  // from the block), else 0. Set whenever the text is.
  uint64_t text_key = 0;
};

// A common token as the scanner's common path read it from the block, before it is handed
// over (scanner_fast.h).
struct FastToken {
  SrcPos pos;
  const unsigned char* text;  // in the block; null for a token that sets no text
  uint32_t length;
  bool wide;                  // 16 bytes may be read from `text`
  uint64_t key;               // a name's key, else 0
};

int next_token();
// The scanner's general path: every token, any input (next_token tries the common path first).
int next_token_general();
int keyword_lookup(const char* text);
bool is_name_char(int c);
