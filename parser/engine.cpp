// The parser engine and the pass loop.
#include "parser/engine.h"

#include <vector>

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

// Every lookup of a state's runs (terminal entries by binary search, else the default;
// goto entries by binary search) answered in advance, once: for each state and symbol the
// entry's kind (high byte) and parameter (low byte), or NO_ENTRY.
namespace {
constexpr uint16_t NO_ENTRY = 0xFFFF;
struct DenseTables {
  std::vector<uint16_t> action;  // [state * SYMBOL_COUNT + symbol]
  DenseTables() : action(static_cast<size_t>(parse_state_count) * SYMBOL_COUNT, NO_ENTRY) {
    auto packed = [](int e) { return static_cast<uint16_t>(entry_kind[e] << 8 | entry_param[e]); };
    for (int s = 0; s < parse_state_count; s++) {
      uint16_t* row = &action[static_cast<size_t>(s) * SYMBOL_COUNT];
      for (int sym = 0; sym < SYMBOL_COUNT; sym++)
        if (!grammar_is_nonterminal(sym)) row[sym] = packed(state_default[s]);
      for (int e = state_first[s]; e < state_default[s]; e++) row[entry_symbol[e]] = packed(e);
      for (int e = state_default[s] + 1; e < state_first[s + 1]; e++) row[entry_symbol[e]] = packed(e);
    }
  }
};
const DenseTables dense;
}  // namespace

static inline uint16_t table_entry(int state, int symbol) {
  return dense.action[static_cast<size_t>(state) * SYMBOL_COUNT + static_cast<size_t>(symbol)];
}

static void goto_chain() {
  Parser& p = g->parser;
  while (p.status == PARSE_RUNNING) {
    uint16_t e = table_entry(p.state, p.produced);
    if (e == NO_ENTRY) {
      // Unreachable with tables built from a conflict-free grammar.
      p.status = PARSE_SYNTAX_ERROR;
      return;
    }
    int kind = e >> 8;
    int q = e & 0xFF;
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
    uint16_t e = table_entry(p.state, p.terminal);
    p.parameter = e & 0xFF;
    int kind = e >> 8;
    switch (kind) {
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
        if (kind == ACT_SHIFT_REDUCE) reduction_action(p.parameter);
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
