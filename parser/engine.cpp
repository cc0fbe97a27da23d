// The parser engine and the pass loop.
#include "parser/engine.h"

#include "driver/run.h"
#include "parser/parse_tables.h"
#include "source/scanner.h"

void parser_start() {
  Parser& p = g->parser;
  p.depth = 0;
  p.state = 0;
  p.state_stack[0] = 0;
  p.status = PARSE_RUNNING;
  p.provisional_terminal = -1;
  p.pos = SrcPos{1, 1};
}

// Entry of `terminal` in the state's terminal run (descending), else its default entry.
static inline int terminal_entry(int state, int terminal) {
  int lo = state_first[state];
  int hi = state_default[state] - 1;
  while (lo <= hi) {
    int mid = (lo + hi) >> 1;
    int sym = entry_symbol[mid];
    if (sym == terminal) return mid;
    if (sym > terminal) lo = mid + 1;
    else hi = mid - 1;
  }
  return state_default[state];
}

// Entry of `symbol` in the state's goto run (ascending); a reduction can only produce a
// symbol that the state has a goto for.
static inline int goto_entry(int state, int symbol) {
  int lo = state_default[state] + 1;
  int hi = state_first[state + 1] - 1;
  while (lo <= hi) {
    int mid = (lo + hi) >> 1;
    int sym = entry_symbol[mid];
    if (sym == symbol) return mid;
    if (sym < symbol) lo = mid + 1;
    else hi = mid - 1;
  }
  return -1;
}

static void goto_chain() {
  Parser& p = g->parser;
  while (p.status == PARSE_RUNNING) {
    int e = goto_entry(p.state, p.produced);
    if (e < 0) {
      // Unreachable with tables built from a conflict-free grammar.
      p.status = PARSE_SYNTAX_ERROR;
      return;
    }
    int kind = entry_kind[e];
    int q = entry_param[e];
    if (kind == GOTO_STATE) {
      p.depth++;
      p.state = q;
      return;
    }
    if (kind == GOTO_ACCEPT) {
      p.status = PARSE_ACCEPTED;
      return;
    }
    int m = rule_length[q];
    if (m > 1) {
      p.depth -= m - 1;
      p.state = p.state_stack[p.depth];
    }
    p.produced = rule_left[q];
    if (kind == GOTO_REDUCE) {
      p.provisional_terminal = -1;
      reduction_action(q);
    }
  }
}

static void stack_overflow() {
  Parser& p = g->parser;
  report_error("\nParser stack overflow, line %d, column %d\n", p.pos.line, p.pos.col);
  p.status = PARSE_OVERFLOW;
}

static void syntax_error() {
  Parser& p = g->parser;
  if (p.provisional_terminal != -1) {
    p.depth = p.provisional_depth;
    p.state = p.provisional_state;
    p.terminal = p.provisional_terminal;
    p.provisional_terminal = -1;
  }
  p.status = PARSE_SYNTAX_ERROR;
  int first = state_first[p.state];
  int dflt = state_default[p.state];
  const char* what;
  const char* name;
  if (dflt - first == 1 && entry_kind[dflt] == ACT_ERROR) {
    what = "Missing";
    name = symbol_name[entry_symbol[first]];
  } else {
    what = "Unexpected";
    name = p.terminal == 0 ? "input" : symbol_name[p.terminal];
  }
  report_error("%s %s, line %d, column %d\n", what, name, p.pos.line, p.pos.col);
}

void parser_feed() {
  Parser& p = g->parser;
  p.terminal = (p.input_code >= 0 && p.input_code < TOKEN_CODE_COUNT) ? terminal_map[p.input_code] : 0;
  for (;;) {
    int e = terminal_entry(p.state, p.terminal);
    p.parameter = entry_param[e];
    switch (entry_kind[e]) {
      case ACT_SHIFT:
        if (p.depth == PARSER_STACK_LIMIT) return stack_overflow();
        p.provisional_terminal = -1;
        p.state_stack[p.depth] = static_cast<uint8_t>(p.state);
        p.value_stack[p.depth] = p.input;
        p.depth++;
        p.state = p.parameter;
        return;
      case ACT_SHIFT_REDUCE:
      case ACT_SHIFT_REDUCE_PLAIN: {
        if (p.depth == PARSER_STACK_LIMIT) return stack_overflow();
        p.provisional_terminal = -1;
        p.value_stack[p.depth] = p.input;
        int n = rule_length[p.parameter];
        if (n > 1) {
          p.depth -= n - 1;
          p.state = p.state_stack[p.depth];
        }
        p.state_stack[p.depth] = static_cast<uint8_t>(p.state);
        p.produced = rule_left[p.parameter];
        if (entry_kind[e] == ACT_SHIFT_REDUCE) reduction_action(p.parameter);
        goto_chain();
        return;
      }
      case ACT_REDUCE:
        p.provisional_terminal = -1;
        p.depth -= rule_length[p.parameter];
        p.state = p.state_stack[p.depth];
        p.produced = rule_left[p.parameter];
        reduction_action(p.parameter);
        goto_chain();
        if (p.status != PARSE_RUNNING) return;
        continue;
      case ACT_REDUCE_PROVISIONAL:
        p.produced = rule_left[p.parameter];
        if (p.provisional_terminal == -1) {
          p.provisional_terminal = p.terminal;
          p.provisional_depth = p.depth;
          p.provisional_state = p.state;
        }
        p.depth -= rule_length[p.parameter];
        p.state = p.state_stack[p.depth];
        goto_chain();
        if (p.status != PARSE_RUNNING) return;
        continue;
      default:
        return syntax_error();
    }
  }
}

// Every action that reads a token's text runs while that token is fed, and the scanner is
// not called again before then, so the engine reads the text where the scanner left it.
void run_pass() {
  Parser& p = g->parser;
  parser_start();
  arena_reset(g->statement);
  for (;;) {
    int code = next_token();
    p.input_code = code;
    p.input.code = code;
    p.input.text = g->scanner.text;
    p.input.pos = g->scanner.token_pos;
    p.pos = g->scanner.token_pos;
    parser_feed();
    // Between statements nothing on the stack refers to the statement's memory.
    if (p.depth <= 1 && p.status != PARSE_SYNTAX_ERROR && p.status != PARSE_OVERFLOW) arena_reset(g->statement);
    if (code <= 0) break;
  }
}
