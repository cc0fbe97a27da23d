// The parser engine and the pass loop.
#include "parser/engine.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/run.h"
#include "parser/parse_tables.h"
#include "parser/trace_record.h"
#include "source/scanner.h"
#include "source/scanner_fast.h"

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
namespace {
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
// L and a terminal t, `final` holds the state that the whole run of them ends in, where t
// meets something other than such a reduction; NO_STATE where a step is not a plain goto.
// Each is worked out the first time it is needed.
constexpr uint8_t NO_STATE = 0xFE;  // above every state; stored as 0xFF below
struct UnitChains {
  int slot_of[SYMBOL_COUNT];  // unit left side -> its slot, or -1
  // [(slot * states + U) * SYMBOL_COUNT + t]: 0 while not worked out, else the answer + 1.
  // Zeroed memory from the system: only the pages of answers looked up are touched.
  uint8_t* known = nullptr;
  UnitChains() {
    int slots = 0;
    for (int& x : slot_of) x = -1;
    for (uint32_t w : dense.op)
      if (op_kind(w) == OP_UNIT && slot_of[op_param(w)] < 0) slot_of[op_param(w)] = slots++;
    known = static_cast<uint8_t*>(
        std::calloc(static_cast<size_t>(slots) * static_cast<size_t>(parse_state_count) * SYMBOL_COUNT + 1, 1));
    if (!known) std::abort();  // at start-up, before any run
  }
  ~UnitChains() { std::free(known); }
  UnitChains(const UnitChains&) = delete;
  UnitChains& operator=(const UnitChains&) = delete;
  static uint8_t work_out(size_t under, int left, int terminal) {
    int l = left;
    for (int steps = 0; steps < SYMBOL_COUNT; steps++) {
      uint32_t g = dense.op[under * SYMBOL_COUNT + static_cast<size_t>(l)];
      if (op_kind(g) != OP_GOTO_STATE) return NO_STATE;
      int x = op_param(g);
      uint32_t next = dense.op[static_cast<size_t>(x) * SYMBOL_COUNT + static_cast<size_t>(terminal)];
      if (op_kind(next) != OP_UNIT) return static_cast<uint8_t>(x);
      l = op_param(next);
    }
    return NO_STATE;
  }
  uint8_t lookup(size_t under, int left, int terminal) {
    size_t at = (static_cast<size_t>(slot_of[left]) * static_cast<size_t>(parse_state_count) + under) * SYMBOL_COUNT +
                static_cast<size_t>(terminal);
    uint8_t x = known[at];
    if (x == 0) x = known[at] = static_cast<uint8_t>(work_out(under, left, terminal) + 1);
    return static_cast<uint8_t>(x - 1);
  }
};
UnitChains unit_chains;
}  // namespace

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

// The goto chain: what the produced symbol leads to in the current state, reduction after
// reduction, while the parse runs. Returns false when the parse no longer runs.
static inline bool goto_chain(Parser& p, const uint32_t* table, int& state, int& depth, int produced) {
  for (;;) {
    uint32_t w = table[state * SYMBOL_COUNT + produced];
    if (w & OP_CLEARS_PROVISIONAL) p.provisional_terminal = -1;
    uint32_t kind = op_kind(w);
    if (kind == OP_GOTO_STATE) {
      depth++;
      state = op_param(w);
      return true;
    }
    if (kind == OP_GOTO_ACCEPT) {
      p.status = PARSE_ACCEPTED;
      return false;
    }
    if (kind == OP_NONE) {  // unreachable with tables from a conflict-free grammar
      p.status = PARSE_SYNTAX_ERROR;
      return false;
    }
    int m = op_length(w);
    if (m > 1) {
      depth -= m - 1;
      state = p.state_stack[depth];
    }
    produced = op_left(w);
    if (kind != OP_GOTO_REDUCE_PLAIN) {
      p.provisional_terminal = -1;
      if (kind == OP_GOTO_REDUCE) perform_action(op_param(w), &p.value_stack[depth]);
    }
  }
}

// The engine's state and depth live in locals while a token is processed and are stored
// back before anything that can read them (diagnostics) and when the token is done.
void parser_feed() {
  Parser& p = g->parser;
  const uint32_t* table = dense.op.data();
  int state = p.state;
  int depth = p.depth;
  int terminal = static_cast<unsigned>(p.input_code) < TOKEN_CODE_COUNT ? terminal_map[p.input_code] : 0;
  bool running = p.status == PARSE_RUNNING;
  for (;;) {
    uint32_t w = table[state * SYMBOL_COUNT + terminal];
    switch (op_kind(w)) {
      case OP_SHIFT:
        if (depth == PARSER_STACK_LIMIT) goto overflow;
        p.provisional_terminal = -1;
        p.shift_at = depth;
        p.shift_mark = g->trace.segment_length;
        p.state_stack[depth] = static_cast<uint8_t>(state);
        p.value_stack[depth] = p.input;
        p.depth = depth + 1;
        p.state = op_param(w);
        return;
      case OP_SHIFT_REDUCE:
      case OP_SHIFT_REDUCE_QUIET: {
        if (depth == PARSER_STACK_LIMIT) goto overflow;
        p.provisional_terminal = -1;
        p.shift_at = depth;
        p.shift_mark = g->trace.segment_length;
        p.value_stack[depth] = p.input;
        int n = op_length(w);
        if (n > 1) {
          depth -= n - 1;
          state = p.state_stack[depth];
        }
        p.state_stack[depth] = static_cast<uint8_t>(state);
        if (op_kind(w) == OP_SHIFT_REDUCE) perform_action(op_param(w), &p.value_stack[depth]);
        if (running) goto_chain(p, table, state, depth, op_left(w));
        p.state = state;
        p.depth = depth;
        return;
      }
      case OP_OPERAND: {
        if (depth == PARSER_STACK_LIMIT) goto overflow;
        p.provisional_terminal = -1;
        p.shift_at = depth;
        p.shift_mark = g->trace.segment_length;
        ParseValue* top = &p.value_stack[depth];
        *top = p.input;
        p.state_stack[depth] = static_cast<uint8_t>(state);
        int second = static_cast<int>(w >> 24);
        if (!running) {
          perform_action(static_cast<int>((w >> 16) & 0xFF), top);
          p.state = state;
          p.depth = depth;
          return;
        }
        perform_operand(static_cast<int>((w >> 16) & 0xFF), second, top);
        p.depth = depth + 1;
        p.state = op_param(w);
        return;
      }
      case OP_UNIT: {
        p.provisional_terminal = -1;
        int left = op_param(w);
        if (running) {
          uint8_t final_state = unit_chains.lookup(p.state_stack[depth - 1], left, terminal);
          if (final_state != NO_STATE) {
            state = final_state;
            continue;
          }
        }
        depth -= 1;
        state = p.state_stack[depth];
        if (!running || !goto_chain(p, table, state, depth, left)) goto done;
        continue;
      }
      case OP_REDUCE:
      case OP_REDUCE_QUIET:
        p.provisional_terminal = -1;
        depth -= op_length(w);
        state = p.state_stack[depth];
        if (op_kind(w) == OP_REDUCE) perform_action(op_param(w), &p.value_stack[depth]);
        if (!running || !goto_chain(p, table, state, depth, op_left(w))) goto done;
        continue;
      case OP_PROVISIONAL:
        if (p.provisional_terminal == -1) {
          p.provisional_terminal = terminal;
          p.provisional_depth = depth;
          p.provisional_state = state;
        }
        depth -= op_length(w);
        state = p.state_stack[depth];
        if (!running || !goto_chain(p, table, state, depth, op_left(w))) goto done;
        continue;
      default:
        p.state = state;
        p.depth = depth;
        p.terminal = terminal;
        return syntax_error();
    }
  }
done:
  p.state = state;
  p.depth = depth;
  return;
overflow:
  p.state = state;
  p.depth = depth;
  stack_overflow();
}

// Learned feeds. What the engine does with a token depends on nothing but the parser's
// configuration (its state, its depth and the states on its stack) and the token's code,
// and the actions it makes read and write no more than the value stack. So once the engine
// has fed a token in some configuration, a feed of the same code in the same configuration
// makes the same actions on the same entries, shifts the token to the same entry and ends
// in the same configuration. Pass 1 learns each such feed from the engine the first time
// (the trace that it records shows the actions) and makes it directly after that:
// configurations are numbered as they are met, and a learned feed leads from one number to
// the next. The states on the stack are written back only when the engine is needed again.
// Only in pass 1, learned only while it records its trace, and never with
// XEXASM_PARSE_TWICE, which leaves every feed to the engine (the tests and the fuzz target
// compare the two).
namespace {

uint32_t configuration_number(LearnedFeeds& l, const Parser& p) {
  std::string key(static_cast<size_t>(p.depth) + 1, '\0');
  key[0] = static_cast<char>(p.state);
  std::memcpy(&key[1], p.state_stack, static_cast<size_t>(p.depth));
  auto found = l.numbers.find(key);
  if (found != l.numbers.end()) return found->second;
  if (l.configurations.size() >= LearnedFeeds::CONFIGURATION_LIMIT) return LearnedFeeds::NONE;
  if (l.feeds.empty()) l.feeds.resize(LearnedFeeds::FEED_SLOTS);
  uint32_t n = static_cast<uint32_t>(l.configurations.size());
  l.configurations.push_back(
      LearnedConfiguration{static_cast<uint8_t>(p.state), static_cast<uint8_t>(p.depth), static_cast<uint32_t>(l.stacks.size())});
  l.stacks.insert(l.stacks.end(), p.state_stack, p.state_stack + p.depth);
  l.numbers.emplace(std::move(key), n);
  return n;
}

inline size_t feed_slot(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - LearnedFeeds::FEED_BITS); }

inline const LearnedFeed* find_feed(const LearnedFeeds& l, uint32_t key) {
  for (size_t i = feed_slot(key);; i = (i + 1) & (LearnedFeeds::FEED_SLOTS - 1)) {
    const LearnedFeed& f = l.feeds[i];
    if (f.key == key) return &f;
    if (f.key == 0) return nullptr;
  }
}

inline uint32_t feed_key(uint32_t configuration, int code) {
  return (configuration << 9 | static_cast<uint32_t>(code)) + 1;
}

// The feed the engine just made from configuration `from`, learned when it can be: it ran
// and shifted the token, left no provisional reduction pending, and its records are all in
// the trace's current segment.
LearnedFeed* learn(LearnedFeeds& l, uint32_t from, int code, const Parser& p) {
  const Trace& t = g->trace;
  l.current = LearnedFeeds::NONE;
  if (p.status != PARSE_RUNNING || p.provisional_terminal != -1) return nullptr;
  uint32_t to = configuration_number(l, p);
  l.current = to;
  if (to == LearnedFeeds::NONE || !t.recording || p.shift_at < 0 || l.feed_count * 2 >= LearnedFeeds::FEED_SLOTS)
    return nullptr;
  int n = t.segment_length;
  uint8_t bytes[8];
  const uint8_t* records = t.segment;
  if (n <= 8) {
    for (int k = 0; k < n; k++) bytes[k] = static_cast<uint8_t>(t.key >> (8 * k));
    records = bytes;
  }
  LearnedFeed f{};
  f.key = feed_key(from, code);
  f.to = to;
  f.first_step = static_cast<uint32_t>(l.steps.size());
  f.shift_at = static_cast<uint8_t>(p.shift_at);
  for (int k = 0; k < n; k += 2) {
    if (k == p.shift_mark) f.before_shift = static_cast<uint16_t>(l.steps.size() - f.first_step);
    LearnedStep s{records[k], 0, records[k + 1]};
    // An operand's two actions on one entry, made as the engine makes them.
    bool operand = k + 2 < n && k + 2 != p.shift_mark && records[k + 3] == s.entry &&
                   ((s.first == 167 && records[k + 2] == 159) ||
                    (s.first >= 163 && s.first <= 165 && records[k + 2] == 160));
    if (operand) {
      s.second = records[k + 2];
      k += 2;
    }
    l.steps.push_back(s);
  }
  if (n <= p.shift_mark) f.before_shift = static_cast<uint16_t>(l.steps.size() - f.first_step);
  f.steps = static_cast<uint16_t>(l.steps.size() - f.first_step);
  size_t i = feed_slot(f.key);
  while (l.feeds[i].key != 0) i = (i + 1) & (LearnedFeeds::FEED_SLOTS - 1);
  l.feeds[i] = f;
  l.feed_count++;
  return &l.feeds[i];
}

template <bool kShape>
inline void make_step(const LearnedStep& s, ParseValue* values) {
  if (kShape) {
    if (s.second) perform_operand(s.first, s.second, &values[s.entry]);
    else perform_action(s.first, &values[s.entry]);
  } else {
    if (s.second) perform_operand_values(s.first, s.second, &values[s.entry]);
    else perform_action_values(s.first, &values[s.entry]);
  }
}

// A learned feed: its actions, the token's shift among them, and its configuration. The
// token goes straight to its entry when no action comes before its shift (the common
// case); else through p.input, after those actions. When the feed's shape number is known,
// the actions record their values only and the number is written whole (kShape false).
template <bool kShape>
inline void make_feed(LearnedFeeds& l, Parser& p, const LearnedFeed& f, int code, const Scanner& sc) {
  ParseValue* values = p.value_stack;
  const LearnedStep* s = &l.steps[f.first_step];
  const LearnedStep* end = s + f.steps;
  if (f.before_shift == 0) {
    ParseValue& v = values[f.shift_at];
    v.code = code;
    v.text = sc.text;
    v.pos = sc.token_pos;
  } else {
    p.input_code = code;
    p.input.code = code;
    p.input.text = sc.text;
    p.input.pos = sc.token_pos;
    for (const LearnedStep* before = s + f.before_shift; s < before; s++) make_step<kShape>(*s, values);
    values[f.shift_at] = p.input;
  }
  for (; s < end; s++) make_step<kShape>(*s, values);
  if (!kShape && g->trace.recording) trace_put_shape(f.shape, f.shape_length);
  const LearnedConfiguration& c = l.configurations[f.to];
  p.state = c.state;
  p.depth = c.depth;
  l.current = f.to;
  l.stack_written = false;
}

// The engine needs the states on the stack.
inline void write_stack(LearnedFeeds& l, Parser& p) {
  if (l.stack_written) return;
  const LearnedConfiguration& c = l.configurations[l.current];
  std::memcpy(p.state_stack, &l.stacks[c.stack], c.depth);
  l.stack_written = true;
}

}  // namespace

// Every action that reads a token's text runs while that token is fed, and the scanner is
// not called again before then, so the engine reads the text where the scanner left it.
// Tokens read ahead. A big program's symbols and their index outgrow the caches, and its
// references go all over them: each lookup waits for an index slot and then for a symbol,
// one lookup after the other. So once the index is that big, pass 1 reads the common
// tokens of the next lines in one go (those read straight from the block; the first other
// one ends the batch and is read when its turn comes, and so is the block's end) and asks
// for the index slots and then the symbols of their names all at once, so that they are
// on their way together. Then the tokens go to the parser one by one, each handed over to
// the scanner as if it had just read it: their texts are still in the block. Nothing else
// reads the source while they wait, and reading them leaves no trace in the output.
namespace {

constexpr size_t BATCH_FROM = size_t{1} << 16;  // index slots: beyond the second-level cache

void fill_batch(TokenBatch& b) {
  Reader& r = g->reader;
  b.count = 0;
  b.next = 0;
  if (!r.current) return;
  int32_t last_line = r.current->pos.line + TokenBatch::LINES;
  while (b.count < TokenBatch::TOKENS && r.current->pos.line < last_line) {
    int code = fast_scan(r, b.tokens[b.count]);
    if (code < 0) break;
    b.codes[b.count++] = static_cast<int16_t>(code);
  }
  const NameIndex& x = g->symbol_index;
  for (int k = 0; k < b.count; k++)
    if (b.tokens[k].key) name_index_prefetch_slot(x, b.tokens[k].key);
  for (int k = 0; k < b.count; k++)
    if (b.tokens[k].key) name_index_prefetch_entry(x, b.tokens[k].key);
}

inline int batch_token(TokenBatch& b, Scanner& sc) {
  int k = b.next++;
  fast_hand_over(sc, b.tokens[k]);
  return b.codes[k];
}

}  // namespace

void run_pass() {
  Parser& p = g->parser;
  parser_start();
  arena_reset(g->statement);
  LearnedFeeds& l = g->learned;
  l.current = LearnedFeeds::NONE;
  l.stack_written = true;
  const Scanner& sc = g->scanner;
  // A configuration is known (l.current) only while the parse runs with no provisional
  // reduction pending, which no learned feed changes.
  const bool learning = g->pass == 1 && !g->io.parse_twice && !g->debug;
  TokenBatch& batch = g->batch;
  batch.count = 0;
  batch.next = 0;
  for (;;) {
    int code;
    if (batch.next < batch.count) {
      code = batch_token(batch, g->scanner);
    } else {
      code = -1;
      if (learning && g->symbol_index.size >= BATCH_FROM) {
        fill_batch(batch);
        if (batch.count) code = batch_token(batch, g->scanner);
      }
      if (code < 0) code = g->debug ? -1 : fast_token(g->reader, g->scanner);
      if (code < 0) code = g->debug ? next_token() : next_token_general();
    }
    p.pos = sc.token_pos;
    const LearnedFeed* f = nullptr;
    uint32_t from = l.current;
    if (from != LearnedFeeds::NONE && static_cast<unsigned>(code) < TOKEN_CODE_COUNT)
      f = find_feed(l, feed_key(from, code));
    LearnedFeed* learned = nullptr;
    if (f) {
      if (f->shape_length) make_feed<false>(l, p, *f, code, sc);
      else make_feed<true>(l, p, *f, code, sc);
    } else {
      p.input_code = code;
      p.input.code = code;
      p.input.text = sc.text;
      p.input.pos = sc.token_pos;
      if (from != LearnedFeeds::NONE) write_stack(l, p);
      p.shift_at = -1;
      parser_feed();
      if (learning && static_cast<unsigned>(code) < TOKEN_CODE_COUNT) {
        if (from != LearnedFeeds::NONE) {
          learned = learn(l, from, code, p);
        } else if (p.status == PARSE_RUNNING && p.provisional_terminal == -1 &&
                   l.configurations.size() < LearnedFeeds::CONFIGURATION_LIMIT) {
          // Back on a known configuration, or a new one while there is room for it.
          l.current = configuration_number(l, p);
        }
      } else {
        l.current = LearnedFeeds::NONE;
      }
    }
    // Between statements nothing on the stack refers to the statement's memory.
    bool reset = p.depth <= 1 && p.status != PARSE_SYNTAX_ERROR && p.status != PARSE_OVERFLOW;
    if (reset) arena_reset(g->statement);
    if (g->trace.recording) {
      if (learned) {
        // The shape number written for the feed just learned: the same for its repeats.
        ChunkedBytes& cb = g->trace.shapes_used;
        size_t chunk = cb.chunks.size();
        const uint8_t* before = cb.cur;
        trace_feed_end();
        if (g->trace.recording && cb.chunks.size() == chunk && before && cb.cur > before && cb.cur - before <= 4) {
          learned->shape_length = static_cast<uint8_t>(cb.cur - before);
          std::memcpy(learned->shape, before, learned->shape_length);
        }
      } else {
        trace_feed_end();
      }
    }
    if (code <= 0) break;
  }
  if (l.current != LearnedFeeds::NONE) write_stack(l, p);
}
