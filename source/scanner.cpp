// Token scanner and keyword table.
#include "source/scanner.h"

#include "base/diag.h"

bool is_name_char(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

static bool is_digit(int c) { return c >= '0' && c <= '9'; }

static bool is_hex_digit(int c) { return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool is_punctuation(int c) {
  switch (c) {
    case '#': case '%': case '&': case '(': case ')': case '*': case '+': case ',': case '-':
    case '.': case '/': case ':': case '<': case '>': case '[': case ']': case '^': case '|':
      return true;
    default:
      return false;
  }
}

static bool same_text(const char* a, const char* b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

// The keywords in table order; the first equal one is the answer.
int keyword_lookup(const char* text) {
  for (const Keyword& k : KEYWORDS) {
    if (!same_text(k.spelling, text)) continue;
    if (g->debug) note("Keyword:%s\n", text);
    return k.code;
  }
  return -1;
}

void token_too_long() {
  const SrcPos& p = g->scanner->token_pos;
  fatal_at(p, "Token Too Long, line %d, column %d\n", p.line, p.col);
}

// Appends characters to the token text while `keep` holds them; the first other character
// (end of input included) is pushed back for the next token.
template <typename Keep>
static void read_while(int len, Keep keep) {
  Scanner& sc = *g->scanner;
  for (;;) {
    int c = reader_getc();
    if (c == END_OF_INPUT || !keep(c)) {
      reader_ungetc(c);
      break;
    }
    if (len >= TOKEN_TEXT_SIZE - 1) token_too_long();
    sc.text[len++] = static_cast<char>(c);
  }
  sc.text[len] = '\0';
}

// A comment: the rest of the line, up to and including its line feed.
static void skip_comment() {
  for (;;) {
    int c = reader_getc();
    if (c == END_OF_INPUT) fatal_at(g->scanner->token_pos, "Unexpected end of file\n");
    if (c == '\n') break;
  }
  if (g->debug) note("Comment\n");
}

// A string: the characters up to the next double quote, which is not kept.
static int read_string() {
  Scanner& sc = *g->scanner;
  int len = 0;
  for (;;) {
    int c = reader_getc();
    if (c == END_OF_INPUT) fatal_at(sc.token_pos, "Unexpected end of file\n");
    if (c == '"') break;
    if (len >= TOKEN_TEXT_SIZE - 1) token_too_long();
    sc.text[len++] = static_cast<char>(c);
  }
  sc.text[len] = '\0';
  if (g->debug) note("STRING %s\n", sc.text);
  return TOK_STRING;
}

// A number: its digits (a hexadecimal one without its '$').
static int read_number(int first, int code) {
  Scanner& sc = *g->scanner;
  int len = 0;
  if (code == TOK_NUMBER) sc.text[len++] = static_cast<char>(first);
  if (code == TOK_NUMBER) read_while(len, is_digit);
  else read_while(len, is_hex_digit);
  if (g->debug) note("CONSTANT %s\n", sc.text);
  return code;
}

// A name: whatever character starts it, then name characters; a keyword, or IDENT.
// INCLUDE is carried out here: -1 tells the caller to read on.
static int read_name(int first) {
  Scanner& sc = *g->scanner;
  sc.text[0] = static_cast<char>(first);
  read_while(1, is_name_char);
  int code = keyword_lookup(sc.text);
  if (code < 0) {
    if (g->debug) note("SYNBOL:%s\n", sc.text);
    return TOK_IDENT;
  }
  if (code == TOK_INCLUDE) {
    SrcPos at = sc.token_pos;
    if (next_token() != TOK_STRING) fatal_at(at, "BAD INCLUDE\n");
    include_enter(sc.text, at);
    return -1;
  }
  if (g->debug) note("TOKEN:%s\n", sc.text);
  return code;
}

int next_token() {
  Scanner& sc = *g->scanner;
  if (g->debug) note("Enter Lex\n");
  for (;;) {
    int c = reader_getc();
    sc.token_pos = g->reader->char_pos;
    switch (c) {
      case END_OF_INPUT:
        if (include_depth() == 0) return TOK_EOF;
        include_return();
        continue;
      case '\t': case '\n': case '\r': case ' ':
        continue;
      case ';':
        skip_comment();
        continue;
      case '"':
        return read_string();
      case '$':
        return read_number(c, TOK_HEX_NUMBER);
      case '\'':
        // A character constant: the next character, whatever it is.
        c = reader_getc();
        if (c == END_OF_INPUT) fatal_at(sc.token_pos, "Unexpected end of file\n");
        sc.text[0] = static_cast<char>(c);
        sc.text[1] = '\0';
        return TOK_CHAR_CONSTANT;
      default:
        break;
    }
    if (is_digit(c)) return read_number(c, TOK_NUMBER);
    if (is_punctuation(c)) return c;
    int code = read_name(c);
    if (code >= 0) return code;
  }
}
