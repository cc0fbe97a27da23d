// Token scanner: cuts the source into tokens, skips white space and comments, and carries
// out INCLUDE statements itself. In debug mode it traces its work on standard error.
#pragma once
#include <cstdint>

#include "source/reader.h"
#include "source/tokens.h"

constexpr int TOKEN_TEXT_SIZE = 2048;  // at most 2047 characters and the NUL

struct Scanner {
  char text[TOKEN_TEXT_SIZE] = {};  // text of the most recent token that sets it
  SrcPos token_pos{1, 1};           // position of the first character of the last token
};

// The code of the next token; its text is left in the scanner's text.
int next_token();
// The code of the keyword spelled `text`, or -1 ("Keyword:%s" in debug mode on a hit).
int keyword_lookup(const char* text);
// 'A'-'Z', 'a'-'z', '0'-'9' and '_', whatever the locale.
bool is_name_char(int c);
bool is_punctuation(int c);
// A token longer than the text holds stops the run.
[[noreturn]] void token_too_long();
