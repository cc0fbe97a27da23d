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

// Whether a production's action has anything to do: the actions of the pass-through
// productions leave the first right-hand symbol's value as the result, which is what
// skipping them does.
namespace {
struct ActionNeeded {
  bool of[PRODUCTION_COUNT];
  ActionNeeded() {
    for (int q = 0; q < PRODUCTION_COUNT; q++) of[q] = rule_action[q] != 0 && !action_passes_value(q);
  }
};
const ActionNeeded action_needed;
}  // namespace

// Every lookup of a state's runs (terminal entries by binary search, else the default;
// goto entries by binary search) answered in advance, once: for each state and symbol the
// entry's kind (high byte) and parameter (low byte), or NO_ENTRY.
//
// A goto that reduces a unit production whose action only passes the value on changes
// nothing but the produced symbol, so the goto entry of the symbol it comes from is the
// entry that its left side would reach; CLEARS_PROVISIONAL marks where such a skipped
// reduction had an action (it ends a pending provisional reduction).
namespace {
constexpr uint16_t NO_ENTRY = 0xFFFF;
constexpr uint16_t CLEARS_PROVISIONAL = 0x8000;
// A default reduction of a unit production whose action only passes the value on: the top
// entry stays as it is and only the state changes, to the goto of the production's left
// side from the state under it. The parameter is that left side.
constexpr int ACT_REDUCE_UNIT = 6;
struct DenseTables {
  std::vector<uint16_t> action;  // [state * SYMBOL_COUNT + symbol]
  DenseTables() : action(static_cast<size_t>(parse_state_count) * SYMBOL_COUNT, NO_ENTRY) {
    auto packed = [](int e) { return static_cast<uint16_t>(entry_kind[e] << 8 | entry_param[e]); };
    for (int s = 0; s < parse_state_count; s++) {
      uint16_t* row = &action[static_cast<size_t>(s) * SYMBOL_COUNT];
      // Terminals not in the state's terminal run take its default, and so does a token
      // without a terminal (symbol 0, which no reduction produces).
      for (int sym = 0; sym < SYMBOL_COUNT; sym++)
        if (sym == 0 || !grammar_is_nonterminal(sym)) row[sym] = packed(state_default[s]);
      for (int e = state_first[s]; e < state_default[s]; e++) row[entry_symbol[e]] = packed(e);
      for (int e = state_default[s] + 1; e < state_first[s + 1]; e++) row[entry_symbol[e]] = packed(e);
    }
    for (int s = 0; s < parse_state_count; s++) {
      uint16_t* row = &action[static_cast<size_t>(s) * SYMBOL_COUNT];
      for (int sym = 1; sym < SYMBOL_COUNT; sym++)
        if (grammar_is_nonterminal(sym) && row[sym] != NO_ENTRY) row[sym] = resolve(row, row[sym]);
    }
    for (int s = 0; s < parse_state_count; s++) {
      int e = state_default[s];
      int q = entry_param[e];
      if (entry_kind[e] != ACT_REDUCE || rule_length[q] != 1 || action_needed.of[q]) continue;
      uint16_t unit = static_cast<uint16_t>(ACT_REDUCE_UNIT << 8 | rule_left[q]);
      uint16_t* row = &action[static_cast<size_t>(s) * SYMBOL_COUNT];
      for (int sym = 0; sym < SYMBOL_COUNT; sym++)
        if (row[sym] == packed(e)) row[sym] = unit;
    }
  }
  static uint16_t resolve(const uint16_t* row, uint16_t e) {
    uint16_t clears = 0;
    for (;;) {
      int kind = (e >> 8) & 0x7F;
      int q = e & 0xFF;
      if ((kind != GOTO_REDUCE && kind != GOTO_REDUCE_PLAIN) || rule_length[q] != 1 || action_needed.of[q])
        return static_cast<uint16_t>(e | clears);
      if (kind == GOTO_REDUCE) clears = CLEARS_PROVISIONAL;
      e = row[rule_left[q]];
      if (e == NO_ENTRY) return e;
    }
  }
};
const DenseTables dense;
}  // namespace

static inline uint16_t table_entry(int state, int symbol) {
  return dense.action[static_cast<size_t>(state) * SYMBOL_COUNT + static_cast<size_t>(symbol)];
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

// The engine's state and depth live in locals while a token is processed and are stored
// back before anything that can read them (diagnostics) and when the token is done.
void parser_feed() {
  Parser& p = g->parser;
  const uint16_t* table = dense.action.data();
  int state = p.state;
  int depth = p.depth;
  int terminal = (p.input_code >= 0 && p.input_code < TOKEN_CODE_COUNT) ? terminal_map[p.input_code] : 0;
  p.terminal = terminal;
  bool running = p.status == PARSE_RUNNING;
  for (;;) {
    uint16_t e = table[state * SYMBOL_COUNT + terminal];
    int kind = e >> 8;
    int param = e & 0xFF;
    p.parameter = param;
    int produced;
    switch (kind) {
      case ACT_SHIFT:
        if (depth == PARSER_STACK_LIMIT) goto overflow;
        p.provisional_terminal = -1;
        p.state_stack[depth] = static_cast<uint8_t>(state);
        p.value_stack[depth] = p.input;
        p.depth = depth + 1;
        p.state = param;
        return;
      case ACT_SHIFT_REDUCE:
      case ACT_SHIFT_REDUCE_PLAIN: {
        if (depth == PARSER_STACK_LIMIT) goto overflow;
        p.provisional_terminal = -1;
        p.value_stack[depth] = p.input;
        int n = rule_length[param];
        if (n > 1) {
          depth -= n - 1;
          state = p.state_stack[depth];
        }
        p.state_stack[depth] = static_cast<uint8_t>(state);
        produced = rule_left[param];
        if (kind == ACT_SHIFT_REDUCE && action_needed.of[param]) perform_action(param, &p.value_stack[depth]);
        break;
      }
      case ACT_REDUCE_UNIT: {
        p.provisional_terminal = -1;
        uint16_t ge = table[p.state_stack[depth - 1] * SYMBOL_COUNT + param];
        if (((ge >> 8) & 0x7F) == GOTO_STATE && running) {
          state = ge & 0xFF;
          continue;
        }
        depth -= 1;
        state = p.state_stack[depth];
        produced = param;
        break;
      }
      case ACT_REDUCE:
        p.provisional_terminal = -1;
        depth -= rule_length[param];
        state = p.state_stack[depth];
        produced = rule_left[param];
        if (action_needed.of[param]) perform_action(param, &p.value_stack[depth]);
        break;
      case ACT_REDUCE_PROVISIONAL:
        produced = rule_left[param];
        if (p.provisional_terminal == -1) {
          p.provisional_terminal = terminal;
          p.provisional_depth = depth;
          p.provisional_state = state;
        }
        depth -= rule_length[param];
        state = p.state_stack[depth];
        break;
      default:
        p.state = state;
        p.depth = depth;
        return syntax_error();
    }
    // The goto chain, while the parse is running.
    while (running) {
      uint16_t ge = table[state * SYMBOL_COUNT + produced];
      if (ge == NO_ENTRY) {  // unreachable with tables from a conflict-free grammar
        p.status = PARSE_SYNTAX_ERROR;
        running = false;
        break;
      }
      if (ge & CLEARS_PROVISIONAL) p.provisional_terminal = -1;
      int gkind = (ge >> 8) & 0x7F;
      int q = ge & 0xFF;
      if (gkind == GOTO_STATE) {
        depth++;
        state = q;
        break;
      }
      if (gkind == GOTO_ACCEPT) {
        p.status = PARSE_ACCEPTED;
        running = false;
        break;
      }
      int m = rule_length[q];
      if (m > 1) {
        depth -= m - 1;
        state = p.state_stack[depth];
      }
      produced = rule_left[q];
      if (gkind == GOTO_REDUCE) {
        p.provisional_terminal = -1;
        if (action_needed.of[q]) perform_action(q, &p.value_stack[depth]);
      }
    }
    p.produced = produced;
    if (kind == ACT_SHIFT_REDUCE || kind == ACT_SHIFT_REDUCE_PLAIN || !running) {
      p.state = state;
      p.depth = depth;
      return;
    }
  }
overflow:
  p.state = state;
  p.depth = depth;
  stack_overflow();
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
