// The table-driven LALR(1) engine, in push mode: it is handed one token at a time and does
// with it everything that token allows (reductions first, then a shift, or a diagnostic).
#pragma once
#include <cstdint>

#include "assembly/data.h"
#include "assembly/expr.h"
#include "assembly/symbol.h"
#include "base/run.h"

constexpr int PARSER_STACK_LIMIT = 128;

enum ParserStatus : int { PARSE_RUNNING = 0, PARSE_ACCEPTED = 1, PARSE_SYNTAX_ERROR = 2, PARSE_OVERFLOW = 4 };

// One stack entry: what the symbol holds, the text of a shifted token, and the position of
// the entry's first token.
struct ParseValue {
  union {
    int32_t code;        // terminals
    int32_t integer;     // Number
    Symbol* symbol;      // Ident (null when pass 2 meets a name pass 1 never saw)
    ExprValue expr;      // primary .. expr, lable
    const char* string;  // String
    DataList list;       // DBobj, DBlist
  };
  const char* text;
  SrcPos pos;
};

// Told of every shift and every action the engine makes (the fast layer's recorder of pass
// 1's parse); null when nobody asks.
struct ParseWatch {
  void* context = nullptr;  // handed to both
  void (*shifted)(void* context, int entry) = nullptr;  // value_stack[entry] got the token
  // after the action of `production` on value_stack[base], which is `entry`
  void (*acted)(void* context, int production, int base, const ParseValue& entry) = nullptr;
};

struct Parser {
  int input_code = 0;
  ParseValue input{};  // the token being processed
  int terminal = 0;
  int state = 0;
  int depth = 0;
  uint8_t state_stack[PARSER_STACK_LIMIT] = {};
  ParseValue value_stack[PARSER_STACK_LIMIT] = {};
  int status = PARSE_RUNNING;
  int provisional_terminal = -1;  // -1: no provisional reduction pending
  int provisional_depth = 0;
  int provisional_state = 0;
  SrcPos pos{1, 1};  // position the diagnostics print: the current token's
  ParseWatch watch;
};

// Resets the engine for a new pass.
void parser_start();
// Processes the token in input_code / input.
void parser_feed();
// One pass over the whole source: every token from the scanner, end of input last.
void run_pass();

// The engine's steps that the fast engine shares: the action of a production on the entry
// at `base`, the token put on the entry `entry` (each with the watch told), and the two
// diagnostics.
void engine_act(Parser& p, int production, int base);
void engine_shifted(Parser& p, int entry);
void syntax_error(Parser& p);
void stack_overflow(Parser& p);
