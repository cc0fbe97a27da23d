// The parser engine and the pass loop.
#include "parser/engine.h"

#include <cstring>

#include "base/diag.h"
#include "parser/actions.h"
#include "parser/parse_tables.h"
#include "source/scanner.h"

void parser_start() {
  Parser& p = *g->parser;
  p.depth = 0;
  p.state = 0;
  p.state_stack[0] = 0;
  p.status = PARSE_RUNNING;
  p.provisional_terminal = -1;
  p.pos = SrcPos{1, 1};
  g->statement_number = 0;
}

void engine_act(Parser& p, int production, int base) {
  reduction_action(production, &p.value_stack[base]);
  if (p.watch.acted) p.watch.acted(p.watch.context, production, base, p.value_stack[base]);
}

void engine_shifted(Parser& p, int entry) {
  p.value_stack[entry] = p.input;
  if (p.watch.shifted) p.watch.shifted(p.watch.context, entry);
}

void stack_overflow(Parser& p) {
  report_error_at(p.pos, "\nParser stack overflow, line %d, column %d\n", p.pos.line, p.pos.col);
  p.status = PARSE_OVERFLOW;
}

// Undoes the pending provisional reductions (they changed nothing but the depth and the
// state) and names what the state now current expected.
void syntax_error(Parser& p) {
  if (p.provisional_terminal != -1) {
    p.depth = p.provisional_depth;
    p.state = p.provisional_state;
    p.terminal = p.provisional_terminal;
    p.provisional_terminal = -1;
  }
  p.status = PARSE_SYNTAX_ERROR;
  int first = state_first[p.state];
  int dflt = state_default[p.state];
  if (dflt - first == 1 && entry_kind[dflt] == ACT_ERROR) {
    report_error_at(p.pos, "Missing %s, line %d, column %d\n", symbol_name[entry_symbol[first]], p.pos.line,
                    p.pos.col);
    return;
  }
  const char* name = p.terminal == 0 ? "input" : symbol_name[p.terminal];
  report_error_at(p.pos, "Unexpected %s, line %d, column %d\n", name, p.pos.line, p.pos.col);
}

// The entry of the current state for a terminal: binary search of the terminal run
// (descending symbol numbers); the default entry when the terminal is not in it.
static int terminal_entry(int state, int terminal) {
  int lo = state_first[state];
  int hi = state_default[state];
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (entry_symbol[mid] == terminal) return mid;
    if (entry_symbol[mid] > terminal) lo = mid + 1;
    else hi = mid;
  }
  return state_default[state];
}

// The goto entry of the current state for a nonterminal: binary search of the goto run
// (ascending symbol numbers); with tables from a conflict-free grammar it is always there.
static int goto_entry(int state, int symbol) {
  int lo = state_default[state] + 1;
  int hi = state_first[state + 1];
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (entry_symbol[mid] == symbol) return mid;
    if (entry_symbol[mid] < symbol) lo = mid + 1;
    else hi = mid;
  }
  return -1;
}

// The goto chain: what the produced symbol leads to in the current state, reduction after
// reduction, until a state is entered or the goal is complete.
static void goto_chain(Parser& p, int produced) {
  for (;;) {
    int e = goto_entry(p.state, produced);
    if (e < 0) {
      p.status = PARSE_SYNTAX_ERROR;
      return;
    }
    int q = entry_param[e];
    switch (entry_kind[e]) {
      case GOTO_STATE:
        p.depth++;
        p.state = q;
        return;
      case GOTO_ACCEPT:
        p.status = PARSE_ACCEPTED;
        return;
      default: {  // GOTO_REDUCE, GOTO_REDUCE_PLAIN
        if (rule_length[q] > 1) {
          p.depth -= rule_length[q] - 1;
          p.state = p.state_stack[p.depth];
        }
        produced = rule_left[q];
        if (entry_kind[e] == GOTO_REDUCE) {
          p.provisional_terminal = -1;
          engine_act(p, q, p.depth);
        }
      }
    }
  }
}

// Shift (kind 1): the token becomes a new entry.
static void shift(Parser& p, int next_state) {
  p.provisional_terminal = -1;
  p.state_stack[p.depth] = static_cast<uint8_t>(p.state);
  engine_shifted(p, p.depth);
  p.depth++;
  p.state = next_state;
}

// Shift and reduce (kinds 2, 3): the token completes production q at once.
static void shift_reduce(Parser& p, int q, bool with_action) {
  p.provisional_terminal = -1;
  engine_shifted(p, p.depth);
  if (rule_length[q] > 1) {
    p.depth -= rule_length[q] - 1;
    p.state = p.state_stack[p.depth];
  }
  p.state_stack[p.depth] = static_cast<uint8_t>(p.state);
  if (with_action) engine_act(p, q, p.depth);
  if (p.status == PARSE_RUNNING) goto_chain(p, rule_left[q]);
}

// Reduce (kinds 4, 5): production q ends before the token, which stays. A provisional
// reduction (a production without action) records where the first of them began.
static void reduce(Parser& p, int q, bool provisional) {
  if (!provisional) {
    p.provisional_terminal = -1;
  } else if (p.provisional_terminal == -1) {
    p.provisional_terminal = p.terminal;
    p.provisional_depth = p.depth;
    p.provisional_state = p.state;
  }
  p.depth -= rule_length[q];
  p.state = p.state_stack[p.depth];
  if (!provisional) engine_act(p, q, p.depth);
  if (p.status == PARSE_RUNNING) goto_chain(p, rule_left[q]);
}

void parser_feed() {
  Parser& p = *g->parser;
  p.terminal = p.input_code >= 0 && p.input_code < TOKEN_CODE_COUNT ? terminal_map[p.input_code] : 0;
  for (;;) {
    int e = terminal_entry(p.state, p.terminal);
    int param = entry_param[e];
    switch (entry_kind[e]) {
      case ACT_SHIFT:
      case ACT_SHIFT_REDUCE:
      case ACT_SHIFT_REDUCE_PLAIN:
        if (p.depth == PARSER_STACK_LIMIT) return stack_overflow(p);
        if (entry_kind[e] == ACT_SHIFT) return shift(p, param);
        return shift_reduce(p, param, entry_kind[e] == ACT_SHIFT_REDUCE);
      case ACT_REDUCE:
      case ACT_REDUCE_PROVISIONAL: {
        bool running = p.status == PARSE_RUNNING;
        reduce(p, param, entry_kind[e] == ACT_REDUCE_PROVISIONAL);
        if (!running || p.status != PARSE_RUNNING) return;  // the token is discarded
        continue;
      }
      default:
        return syntax_error(p);
    }
  }
}

void run_pass() {
  Parser& p = *g->parser;
  const Scanner& sc = *g->scanner;
  parser_start();
  for (;;) {
    int code = next_token();
    p.pos = sc.token_pos;
    p.input_code = code;
    p.input.code = code;
    p.input.text = arena_strdup(g->statement, sc.text, std::strlen(sc.text));
    p.input.pos = sc.token_pos;
    parser_feed();
    // Between statements nothing on the stack refers to the statement's memory.
    if (p.depth <= 1 && (p.status == PARSE_RUNNING || p.status == PARSE_ACCEPTED)) arena_reset(g->statement);
    if (code <= 0) break;
  }
}
