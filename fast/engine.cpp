// The dense engine.
#include "fast/engine.h"

#include <cstring>

#include "parser/actions.h"
#include "parser/parse_tables.h"

namespace {

// Whether a production's action has anything to do: the actions of the pass-through
// productions leave the first right-hand symbol's value as the result, which is what
// skipping them does.
struct ActionNeeded {
  bool of[PRODUCTION_COUNT];
  ActionNeeded() {
    for (int q = 0; q < PRODUCTION_COUNT; q++) of[q] = rule_action[q] != 0 && !action_passes_value(q);
  }
};
const ActionNeeded action_needed;

// Every lookup of a state's runs (terminal entries by binary search, else the default;
// goto entries by binary search) is answered in advance, once: for each state and symbol
// one word that says what to do, with the production's length and left side at hand.
//
// Beyond the kinds of the tables, the words tell apart what the engine can skip: a
// reduction whose action only passes the first symbol's value on need not call it; a
// goto that reduces such a unit production changes nothing but the produced symbol, so
// the goto of the symbol it comes from is the entry its left side would reach
// (OP_CLEARS_PROVISIONAL keeps the one effect of a skipped action: it ends a pending
// provisional reduction); and a default reduction of such a unit production leaves the
// top entry as it is and only replaces the state, by the goto of its left side from the
// state under it (OP_UNIT).
enum Op : uint32_t {
  OP_NONE = 0,
  OP_SHIFT,           // param: next state
  OP_SHIFT_REDUCE,    // shift, then reduce with the production's action
  OP_SHIFT_REDUCE_QUIET,  // shift, then reduce without calling an action
  OP_REDUCE,          // reduce with the production's action
  OP_REDUCE_QUIET,    // reduce, with an action that has nothing to do
  OP_UNIT,            // default reduction of a pass-through unit production
  OP_PROVISIONAL,     // reduce provisionally (production without action)
  OP_ERROR,
  OP_GOTO_STATE,      // param: next state
  OP_GOTO_ACCEPT,
  OP_GOTO_REDUCE,     // reduce with the production's action
  OP_GOTO_REDUCE_CLEAR,  // reduce; an action with nothing to do, which ends a provisional
  OP_GOTO_REDUCE_PLAIN,  // reduce a production without action
  // A token that completes an operand: shift it, reduce it (a literal or an identifier),
  // then reduce that once more where a goto does so, and go to the state the goto chain
  // ends in; every step keeps the depth. Parameter: the final state; then the two
  // productions (the second 0 when there is none).
  OP_OPERAND,
};
constexpr uint32_t OP_CLEARS_PROVISIONAL = 0x80000000u;

constexpr uint32_t op_kind(uint32_t w) { return w & 0xFF; }
constexpr int op_param(uint32_t w) { return static_cast<int>((w >> 8) & 0xFF); }
constexpr int op_length(uint32_t w) { return static_cast<int>((w >> 16) & 0xFF); }
constexpr int op_left(uint32_t w) { return static_cast<int>((w >> 24) & 0x7F); }

uint32_t make_op(uint32_t kind, int param) {
  uint32_t w = kind | static_cast<uint32_t>(param) << 8;
  if (kind != OP_SHIFT && kind != OP_GOTO_STATE && kind != OP_ERROR && kind != OP_GOTO_ACCEPT && kind != OP_UNIT)
    w |= static_cast<uint32_t>(rule_length[param]) << 16 | static_cast<uint32_t>(rule_left[param]) << 24;
  return w;
}

struct DenseTables {
  std::vector<uint32_t> op;  // [state * SYMBOL_COUNT + symbol]

  static uint32_t terminal_op(int e) {
    int q = entry_param[e];
    switch (entry_kind[e]) {
      case ACT_SHIFT: return make_op(OP_SHIFT, q);
      case ACT_SHIFT_REDUCE: return make_op(action_needed.of[q] ? OP_SHIFT_REDUCE : OP_SHIFT_REDUCE_QUIET, q);
      case ACT_SHIFT_REDUCE_PLAIN: return make_op(OP_SHIFT_REDUCE_QUIET, q);
      case ACT_REDUCE:
        if (action_needed.of[q]) return make_op(OP_REDUCE, q);
        if (rule_length[q] == 1) return make_op(OP_UNIT, rule_left[q]);
        return make_op(OP_REDUCE_QUIET, q);
      case ACT_REDUCE_PROVISIONAL: return make_op(OP_PROVISIONAL, q);
      default: return make_op(OP_ERROR, 0);
    }
  }
  static uint32_t goto_op(int e) {
    int q = entry_param[e];
    switch (entry_kind[e]) {
      case GOTO_ACCEPT: return make_op(OP_GOTO_ACCEPT, 0);
      case GOTO_STATE: return make_op(OP_GOTO_STATE, q);
      case GOTO_REDUCE: return make_op(action_needed.of[q] ? OP_GOTO_REDUCE : OP_GOTO_REDUCE_CLEAR, q);
      default: return make_op(OP_GOTO_REDUCE_PLAIN, q);
    }
  }
  // Follows gotos that reduce a pass-through unit production to the entry they end at.
  static uint32_t resolve(const uint32_t* row, uint32_t w) {
    uint32_t clears = 0;
    for (;;) {
      uint32_t kind = op_kind(w);
      if ((kind != OP_GOTO_REDUCE_CLEAR && kind != OP_GOTO_REDUCE_PLAIN) || op_length(w) != 1) return w | clears;
      if (kind == OP_GOTO_REDUCE_CLEAR) clears = OP_CLEARS_PROVISIONAL;
      w = row[op_left(w)];
      if (w == OP_NONE) return w;
    }
  }

  DenseTables() : op(static_cast<size_t>(parse_state_count) * SYMBOL_COUNT, OP_NONE) {
    bool nonterminal[SYMBOL_COUNT];
    for (int sym = 0; sym < SYMBOL_COUNT; sym++) nonterminal[sym] = grammar_is_nonterminal(sym);
    for (int s = 0; s < parse_state_count; s++) {
      uint32_t* row = &op[static_cast<size_t>(s) * SYMBOL_COUNT];
      // Terminals not in the state's terminal run take its default, and so does a token
      // without a terminal (symbol 0, which no reduction produces).
      uint32_t fallback = terminal_op(state_default[s]);
      for (int sym = 0; sym < SYMBOL_COUNT; sym++)
        if (sym == 0 || !nonterminal[sym]) row[sym] = fallback;
      for (int e = state_first[s]; e < state_default[s]; e++) row[entry_symbol[e]] = terminal_op(e);
      for (int e = state_default[s] + 1; e < state_first[s + 1]; e++) row[entry_symbol[e]] = goto_op(e);
    }
    for (int s = 0; s < parse_state_count; s++) {
      uint32_t* row = &op[static_cast<size_t>(s) * SYMBOL_COUNT];
      for (int sym = 1; sym < SYMBOL_COUNT; sym++)
        if (nonterminal[sym] && row[sym] != OP_NONE) row[sym] = resolve(row, row[sym]);
    }
    for (int s = 0; s < parse_state_count; s++) {
      uint32_t* row = &op[static_cast<size_t>(s) * SYMBOL_COUNT];
      for (int t = 0; t < SYMBOL_COUNT; t++)
        if (!nonterminal[t] && op_kind(row[t]) == OP_SHIFT_REDUCE) row[t] = operand(row, row[t]);
    }
  }
  // The shift-and-reduce of a token, with the goto chain that follows it when every step
  // of that chain keeps the depth, as one word; else the word as it is.
  static uint32_t operand(const uint32_t* row, uint32_t w) {
    if (op_length(w) != 1) return w;
    uint32_t q1 = static_cast<uint32_t>(op_param(w));
    uint32_t q2 = 0;
    uint32_t next = row[op_left(w)];
    if (op_kind(next) == OP_GOTO_REDUCE && op_length(next) == 1) {
      q2 = static_cast<uint32_t>(op_param(next));
      next = row[op_left(next)];
    }
    if (op_kind(next) != OP_GOTO_STATE) return w;
    return OP_OPERAND | static_cast<uint32_t>(op_param(next)) << 8 | q1 << 16 | q2 << 24;
  }
};
const DenseTables dense;


// Default reductions of pass-through unit productions follow one another while a token
// ends an expression (mulexp, then arith, then xorexp): each keeps the depth and replaces
// the state by a goto from the same state under it. For a state under U, a unit left side
// L and a terminal t, the answer is the state that the whole run of them ends in, where t
// meets something other than such a reduction; NO_STATE where a step is not a plain goto.
constexpr uint8_t NO_STATE = 0xFE;  // above every state; stored as 0xFF

// The answer for one (U, L, t), following the run step by step.
uint8_t unit_chain_work_out(size_t under, int left, int terminal) {
  int l = left;
  for (int steps = 0; steps < SYMBOL_COUNT; steps++) {
    uint32_t w = dense.op[under * SYMBOL_COUNT + static_cast<size_t>(l)];
    if (op_kind(w) != OP_GOTO_STATE) return NO_STATE;
    int x = op_param(w);
    uint32_t next = dense.op[static_cast<size_t>(x) * SYMBOL_COUNT + static_cast<size_t>(terminal)];
    if (op_kind(next) != OP_UNIT) return static_cast<uint8_t>(x);
    l = op_param(next);
  }
  return NO_STATE;
}

// [(slot * states + U) * SYMBOL_COUNT + t], worked out the first time it is asked for.
inline uint8_t unit_chain_end(UnitChains& u, size_t under, int left, int terminal) {
  size_t at = (static_cast<size_t>(u.slot_of[left]) * static_cast<size_t>(parse_state_count) + under) * SYMBOL_COUNT +
              static_cast<size_t>(terminal);
  uint8_t x = u.known[at];
  if (x == 0) x = u.known[at] = static_cast<uint8_t>(unit_chain_work_out(under, left, terminal) + 1);
  return static_cast<uint8_t>(x - 1);
}

}  // namespace

void unit_chains_init(UnitChains& u) {
  static_assert(SYMBOL_COUNT <= 128);
  int slots = 0;
  for (int& x : u.slot_of) x = -1;
  for (uint32_t w : dense.op)
    if (op_kind(w) == OP_UNIT && u.slot_of[op_param(w)] < 0) u.slot_of[op_param(w)] = slots++;
  u.known.assign(static_cast<size_t>(slots) * static_cast<size_t>(parse_state_count) * SYMBOL_COUNT, 0);
}

namespace {

// A token being fed: the engine's state and depth live here while it is processed and are
// stored back before anything that can read them (diagnostics) and when it is done.
struct Feed {
  Parser& p;
  UnitChains& u;
  std::vector<FeedStep>* log;  // the steps made, when they are being learned
  const uint32_t* table;
  int state;
  int depth;
  int terminal;
  bool running;
};

// What a step leaves to do: look the same token up again, or store the state and end, or
// end (stored already).
enum Step { AGAIN, STORE, ENDED };

// An action and a shift, told to the log when there is one.
inline void act(Feed& f, int production, int entry) {
  if (f.log) f.log->push_back(FeedStep{static_cast<uint8_t>(production), static_cast<uint8_t>(entry)});
  engine_act(f.p, production, entry);
}
inline void shifted(Feed& f, int entry) {
  if (f.log) f.log->push_back(FeedStep{0, static_cast<uint8_t>(entry)});
  engine_shifted(f.p, entry);
}

// The state and the depth that the feed worked on, given back to the parser.
inline void store(Feed& f) {
  f.p.state = f.state;
  f.p.depth = f.depth;
}

// The goto chain: what the produced symbol leads to in the current state, reduction after
// reduction, while the parse runs. Returns false when the parse no longer runs.
inline bool goto_chain(Feed& f, int produced) {
  Parser& p = f.p;
  for (;;) {
    uint32_t w = f.table[f.state * SYMBOL_COUNT + produced];
    if (w & OP_CLEARS_PROVISIONAL) p.provisional_terminal = -1;
    uint32_t kind = op_kind(w);
    if (kind == OP_GOTO_STATE) {
      f.depth++;
      f.state = op_param(w);
      return true;
    }
    if (kind == OP_GOTO_ACCEPT || kind == OP_NONE) {  // none: unreachable with conflict-free tables
      p.status = kind == OP_GOTO_ACCEPT ? PARSE_ACCEPTED : PARSE_SYNTAX_ERROR;
      return false;
    }
    int m = op_length(w);
    if (m > 1) {
      f.depth -= m - 1;
      f.state = p.state_stack[f.depth];
    }
    produced = op_left(w);
    if (kind != OP_GOTO_REDUCE_PLAIN) {
      p.provisional_terminal = -1;
      if (kind == OP_GOTO_REDUCE) act(f, op_param(w), f.depth);
    }
  }
}

// A full stack refuses the token.
inline Step overflow(Feed& f) {
  store(f);
  stack_overflow(f.p);
  return ENDED;
}

// Shift: the token becomes a new entry.
inline Step shift(Feed& f, uint32_t w) {
  if (f.depth == PARSER_STACK_LIMIT) return overflow(f);
  f.p.provisional_terminal = -1;
  f.p.state_stack[f.depth] = static_cast<uint8_t>(f.state);
  shifted(f, f.depth);
  f.depth++;
  f.state = op_param(w);
  return STORE;
}

// Shift and reduce: the token completes a production at once.
inline Step shift_reduce(Feed& f, uint32_t w) {
  if (f.depth == PARSER_STACK_LIMIT) return overflow(f);
  Parser& p = f.p;
  p.provisional_terminal = -1;
  shifted(f, f.depth);
  int n = op_length(w);
  if (n > 1) {
    f.depth -= n - 1;
    f.state = p.state_stack[f.depth];
  }
  p.state_stack[f.depth] = static_cast<uint8_t>(f.state);
  if (op_kind(w) == OP_SHIFT_REDUCE) act(f, op_param(w), f.depth);
  if (f.running) goto_chain(f, op_left(w));
  return STORE;
}

// A literal or identifier: shifted, reduced, reduced once more where the goto does so,
// and on to the state the goto chain ends in, all on one entry.
inline Step operand(Feed& f, uint32_t w) {
  if (f.depth == PARSER_STACK_LIMIT) return overflow(f);
  Parser& p = f.p;
  p.provisional_terminal = -1;
  shifted(f, f.depth);
  p.state_stack[f.depth] = static_cast<uint8_t>(f.state);
  act(f, static_cast<int>((w >> 16) & 0xFF), f.depth);
  if (!f.running) return STORE;
  if (int second = static_cast<int>(w >> 24)) act(f, second, f.depth);
  f.depth++;
  f.state = op_param(w);
  return STORE;
}

// A default reduction of a pass-through unit production: straight to where the run of
// them ends when that is known, else one step.
inline Step unit(Feed& f, uint32_t w) {
  Parser& p = f.p;
  p.provisional_terminal = -1;
  int left = op_param(w);
  if (f.running) {
    uint8_t final_state = unit_chain_end(f.u, p.state_stack[f.depth - 1], left, f.terminal);
    if (final_state != NO_STATE) {
      f.state = final_state;
      return AGAIN;
    }
  }
  f.depth -= 1;
  f.state = p.state_stack[f.depth];
  return f.running && goto_chain(f, left) ? AGAIN : STORE;
}

// A reduction before the token, which stays; a provisional one records where the first
// of them began.
inline Step reduce(Feed& f, uint32_t w) {
  Parser& p = f.p;
  if (op_kind(w) != OP_PROVISIONAL) {
    p.provisional_terminal = -1;
  } else if (p.provisional_terminal == -1) {
    p.provisional_terminal = f.terminal;
    p.provisional_depth = f.depth;
    p.provisional_state = f.state;
  }
  f.depth -= op_length(w);
  f.state = p.state_stack[f.depth];
  if (op_kind(w) == OP_REDUCE) act(f, op_param(w), f.depth);
  return f.running && goto_chain(f, op_left(w)) ? AGAIN : STORE;
}

}  // namespace

void fast_feed(Parser& p, UnitChains& u, std::vector<FeedStep>* log) {
  int terminal = static_cast<unsigned>(p.input_code) < TOKEN_CODE_COUNT ? terminal_map[p.input_code] : 0;
  Feed f{p, u, log, dense.op.data(), p.state, p.depth, terminal, p.status == PARSE_RUNNING};
  for (;;) {
    uint32_t w = f.table[f.state * SYMBOL_COUNT + f.terminal];
    Step step;
    switch (op_kind(w)) {
      case OP_SHIFT: step = shift(f, w); break;
      case OP_SHIFT_REDUCE:
      case OP_SHIFT_REDUCE_QUIET: step = shift_reduce(f, w); break;
      case OP_OPERAND: step = operand(f, w); break;
      case OP_UNIT: step = unit(f, w); break;
      case OP_REDUCE:
      case OP_REDUCE_QUIET:
      case OP_PROVISIONAL: step = reduce(f, w); break;
      default:
        store(f);
        p.terminal = f.terminal;
        return syntax_error(p);
    }
    if (step == AGAIN) continue;
    if (step == STORE) store(f);
    return;
  }
}
