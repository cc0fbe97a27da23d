// Build-time generator of the parse tables.
//
//   gen_tables [--add-conflict | --add-shift-reduce] <output.cpp>
//
// Builds the canonical LR(0) collection of the grammar, checks that it is SLR(1) without
// conflicts, compresses it and writes a C++ file that defines everything parser/parse_tables.h
// declares. Beside it, in the same folder, it writes parse_productions.h: the productions and
// the grammar symbols as enumerators named after the grammar's own spelling. Any conflict
// (shift/reduce or reduce/reduce), or any figure that differs from the one the parser is
// built for, is reported on standard error and ends the program with status 1, so the build
// fails; a bad command line ends it with status 2. Each file is written under a temporary
// name and renamed into place only when complete, so a failed run leaves no partial file.
//
// Compression:
// - A state of one completed production (and nothing else) is never entered: the shift or
//   goto into it carries the reduction instead (kinds 2/3, goto kinds 2/3); the goto into the
//   state of the goal production is acceptance (goto kind 0).
// - Unit productions without action whose right side is one nonterminal are never reduced:
//   a goto on N into the completed state of M -> N is replaced by the entry for M in the same
//   state, following the chain up to a real transition or reduction.
// - Every kept state has at most one reduction, its default entry (kind 4, or 5 for a
//   production without action); a state without one has the default syntax error (kind 7).
//
// --add-conflict adds the production Number -> IDENT, which clashes with Ident -> IDENT
// wherever an identifier can start an operand (a reduce/reduce conflict); --add-shift-reduce
// adds DBlist -> DBlist ',' (a list may end in a comma), so that after a comma an identifier
// may start the next item or, the list ended, the next statement (a shift/reduce conflict
// alone). The generator must then refuse the grammar. Tests of the conflict check.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "parser/grammar.h"

namespace {

// The figures the parser and its tests are built for.
constexpr int EXPECTED_LR0_STATES = 304;
constexpr int EXPECTED_SINGLE_STATES = 109;
constexpr int EXPECTED_KEPT_STATES = 195;
constexpr int MINIMUM_ENTRIES = 1701;

constexpr int KIND_SHIFT = 1;
constexpr int KIND_SHIFT_REDUCE = 2;
constexpr int KIND_SHIFT_REDUCE_PLAIN = 3;
constexpr int KIND_REDUCE = 4;
constexpr int KIND_REDUCE_PROVISIONAL = 5;
constexpr int KIND_ERROR = 7;
constexpr int GOTO_KIND_ACCEPT = 0;
constexpr int GOTO_KIND_STATE = 1;
constexpr int GOTO_KIND_REDUCE = 2;
constexpr int GOTO_KIND_REDUCE_PLAIN = 3;

struct Rule {
  int left;
  std::vector<int> right;
  bool action;
};

struct Item {
  int rule;
  int dot;
  bool operator<(const Item& o) const { return rule != o.rule ? rule < o.rule : dot < o.dot; }
};

struct State {
  std::vector<Item> kernel;            // sorted
  std::vector<Item> items;             // kernel and closure
  std::map<int, int> transitions;      // symbol -> LR(0) state
  int completed_rule = -1;             // the one completed production, or -1
  bool single = false;                 // one completed production and nothing else
};

struct Entry {
  int symbol;
  int kind;
  int param;
};

std::vector<Rule> rules;
std::vector<State> states;

bool is_nonterminal(int symbol) { return grammar_is_nonterminal(symbol); }

// A rule as the generator's messages name it: "left -> right side".
std::string rule_text(int r) {
  std::string text = grammar_symbol_name[rules[r].left];
  text += " ->";
  for (int s : rules[r].right) {
    text += ' ';
    text += grammar_symbol_name[s];
  }
  return text;
}

// The number of the grammar symbol spelled `name`.
int symbol_named(const char* name) {
  for (int s = 0; s < SYMBOL_COUNT; ++s)
    if (std::strcmp(grammar_symbol_name[s], name) == 0) return s;
  std::fprintf(stderr, "gen_tables: the grammar has no symbol %s\n", name);
  std::exit(1);
}

// A rule added to the grammar, to see that the conflict it makes fails the generator
// (--add-conflict, --add-shift-reduce).
enum class Added { Nothing, ReduceReduce, ShiftReduce };

// The grammar's productions as rules, with the rule that `added` asks for at the end.
void load_grammar(Added added) {
  for (int p = 0; p < PRODUCTION_COUNT; ++p) {
    const GrammarProduction& prod = grammar_productions[p];
    rules.push_back({prod.left, std::vector<int>(prod.right, prod.right + prod.length),
                     prod.has_action != 0});
  }
  if (added == Added::ReduceReduce) {
    // Number -> IDENT: after an identifier inside an expression both Ident -> IDENT and
    // Number -> IDENT are complete.
    rules.push_back({symbol_named("Number"), {symbol_named("IDENT")}, true});
  } else if (added == Added::ShiftReduce) {
    // DBlist -> DBlist ',': after the comma, shift an identifier (an item) or reduce (the
    // identifier begins the next statement).
    rules.push_back({symbol_named("DBlist"), {symbol_named("DBlist"), symbol_named("','")}, true});
  }
}

// The kernel's items, and every item of a production of a nonterminal that follows a dot,
// until no more come.
std::vector<Item> closure(const std::vector<Item>& kernel) {
  std::vector<Item> items = kernel;
  std::set<int> expanded;
  for (size_t i = 0; i < items.size(); ++i) {
    const Rule& rule = rules[items[i].rule];
    if (items[i].dot >= static_cast<int>(rule.right.size())) continue;
    int next = rule.right[items[i].dot];
    if (!is_nonterminal(next) || !expanded.insert(next).second) continue;
    for (int r = 0; r < static_cast<int>(rules.size()); ++r)
      if (rules[r].left == next) items.push_back({r, 0});
  }
  return items;
}

// The LR(0) states, state 0 from the goal's production; each new kernel becomes a state,
// and each state's transitions are kept by symbol.
void build_lr0_collection() {
  std::map<std::vector<Item>, int> by_kernel;
  states.push_back({{{0, 0}}, {}, {}, -1, false});
  by_kernel[states[0].kernel] = 0;
  for (size_t s = 0; s < states.size(); ++s) {
    states[s].items = closure(states[s].kernel);
    std::map<int, std::vector<Item>> advanced;  // ascending symbol order
    for (const Item& item : states[s].items) {
      const Rule& rule = rules[item.rule];
      if (item.dot < static_cast<int>(rule.right.size()))
        advanced[rule.right[item.dot]].push_back({item.rule, item.dot + 1});
    }
    for (auto& [symbol, kernel] : advanced) {
      std::sort(kernel.begin(), kernel.end());
      auto found = by_kernel.find(kernel);
      int target;
      if (found != by_kernel.end()) {
        target = found->second;
      } else {
        target = static_cast<int>(states.size());
        by_kernel[kernel] = target;
        states.push_back({kernel, {}, {}, -1, false});
      }
      states[s].transitions[symbol] = target;
    }
  }
}

// FOLLOW sets of the nonterminals; the grammar has no empty productions, so FIRST of a
// right-side suffix is FIRST of its first symbol.
std::vector<std::set<int>> follow_sets() {
  std::vector<std::set<int>> first(SYMBOL_COUNT), follow(SYMBOL_COUNT);
  for (int s = 0; s < SYMBOL_COUNT; ++s)
    if (!is_nonterminal(s)) first[s].insert(s);
  for (bool changed = true; changed;) {
    changed = false;
    for (const Rule& rule : rules)
      for (int t : first[rule.right[0]]) changed |= first[rule.left].insert(t).second;
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const Rule& rule : rules) {
      for (size_t i = 0; i < rule.right.size(); ++i) {
        int s = rule.right[i];
        if (!is_nonterminal(s)) continue;
        const std::set<int>& add = i + 1 < rule.right.size() ? first[rule.right[i + 1]]
                                                             : follow[rule.left];
        for (int t : add) changed |= follow[s].insert(t).second;
      }
    }
  }
  return follow;
}

// Finds the completed production of every state and reports every conflict; returns how many.
// A state holds at most one reduction, which becomes its default entry: two completed
// productions in one state are a reduce/reduce conflict, each one after the first counted
// once. A terminal that a state shifts and that may follow a production completed in it (by
// the FOLLOW set of its left side) is a shift/reduce conflict, counted once per production
// and terminal.
int check_conflicts() {
  std::vector<std::set<int>> follow = follow_sets();
  int conflicts = 0;
  for (size_t s = 0; s < states.size(); ++s) {
    State& state = states[s];
    std::vector<int> completed;
    for (const Item& item : state.items)
      if (item.dot == static_cast<int>(rules[item.rule].right.size()))
        completed.push_back(item.rule);
    for (size_t i = 1; i < completed.size(); ++i) {
      std::fprintf(stderr,
                   "gen_tables: reduce/reduce conflict in LR(0) state %zu between production "
                   "%d (%s) and production %d (%s)\n",
                   s, completed[0], rule_text(completed[0]).c_str(), completed[i],
                   rule_text(completed[i]).c_str());
      ++conflicts;
    }
    for (int r : completed) {
      const std::set<int>& lookahead = follow[rules[r].left];
      for (const auto& [symbol, target] : state.transitions) {
        if (is_nonterminal(symbol) || !lookahead.count(symbol)) continue;
        std::fprintf(stderr,
                     "gen_tables: shift/reduce conflict in LR(0) state %zu on %s: shift, or "
                     "reduce production %d (%s)\n",
                     s, grammar_symbol_name[symbol], r, rule_text(r).c_str());
        ++conflicts;
      }
    }
    if (completed.empty()) continue;
    state.completed_rule = completed[0];
    state.single = state.items.size() == 1;
  }
  return conflicts;
}

// A unit production without action whose right side is a single nonterminal: never reduced.
bool is_skipped_unit(int r) {
  return r != 0 && !rules[r].action && rules[r].right.size() == 1 &&
         is_nonterminal(rules[r].right[0]);
}

struct Tables {
  std::vector<int> kept;       // LR(0) state of each kept state
  std::vector<int> new_index;  // kept number of each LR(0) state, -1 if not kept
  std::vector<int> first, deflt;
  std::vector<Entry> entries;
};

Entry goto_entry(const Tables& t, int s, int symbol) {
  int target = states[s].transitions.at(symbol);
  if (!states[target].single) return {symbol, GOTO_KIND_STATE, t.new_index[target]};
  int r = states[target].completed_rule;
  if (r == 0) return {symbol, GOTO_KIND_ACCEPT, 0};
  if (is_skipped_unit(r)) {
    Entry e = goto_entry(t, s, rules[r].left);
    e.symbol = symbol;
    return e;
  }
  return {symbol, rules[r].action ? GOTO_KIND_REDUCE : GOTO_KIND_REDUCE_PLAIN, r};
}

// The compressed tables: a state made of one completed production alone is left out (what
// leads there shifts and reduces, or reduces at the goto); every other state gets a run of
// terminal entries (descending), its default entry, and a run of goto entries (ascending).
Tables compress() {
  Tables t;
  t.new_index.assign(states.size(), -1);
  for (size_t s = 0; s < states.size(); ++s) {
    if (states[s].single) continue;
    t.new_index[s] = static_cast<int>(t.kept.size());
    t.kept.push_back(static_cast<int>(s));
  }
  for (int s : t.kept) {
    const State& state = states[s];
    t.first.push_back(static_cast<int>(t.entries.size()));
    // Run 1: terminals, descending.
    for (auto it = state.transitions.rbegin(); it != state.transitions.rend(); ++it) {
      auto [symbol, target] = *it;
      if (is_nonterminal(symbol)) continue;
      if (!states[target].single) {
        t.entries.push_back({symbol, KIND_SHIFT, t.new_index[target]});
      } else {
        int r = states[target].completed_rule;
        t.entries.push_back(
            {symbol, rules[r].action ? KIND_SHIFT_REDUCE : KIND_SHIFT_REDUCE_PLAIN, r});
      }
    }
    // Run 2: the default entry.
    t.deflt.push_back(static_cast<int>(t.entries.size()));
    int r = state.completed_rule;
    if (r < 0)
      t.entries.push_back({0, KIND_ERROR, 0});
    else
      t.entries.push_back({0, rules[r].action ? KIND_REDUCE : KIND_REDUCE_PROVISIONAL, r});
    // Run 3: gotos, ascending.
    for (const auto& [symbol, target] : state.transitions)
      if (is_nonterminal(symbol)) t.entries.push_back(goto_entry(t, s, symbol));
  }
  t.first.push_back(static_cast<int>(t.entries.size()));
  return t;
}

// Compares the figures with the expected ones; returns the number of differences.
int check_figures(const Tables& t, int single_count) {
  int differences = 0;
  auto expect = [&](const char* what, long got, long want) {
    if (got == want) return;
    std::fprintf(stderr, "gen_tables: %s: got %ld, expected %ld\n", what, got, want);
    ++differences;
  };
  expect("LR(0) states", static_cast<long>(states.size()), EXPECTED_LR0_STATES);
  expect("states of one completed production", single_count, EXPECTED_SINGLE_STATES);
  expect("kept states", static_cast<long>(t.kept.size()), EXPECTED_KEPT_STATES);
  long entries = static_cast<long>(t.entries.size());
  if (entries < MINIMUM_ENTRIES) {
    std::fprintf(stderr, "gen_tables: %ld entries, expected more than 1700\n", entries);
    ++differences;
  }
  if (entries > UINT16_MAX) {
    std::fprintf(stderr, "gen_tables: %ld entries do not fit 16-bit indices\n", entries);
    ++differences;
  }
  if (t.kept.size() > UINT8_MAX + 1u || rules.size() > UINT8_MAX + 1u) {
    std::fprintf(stderr, "gen_tables: state or production numbers do not fit in a byte\n");
    ++differences;
  }
  return differences;
}

// ---- output ----

// Values as C++ initialisers, sixteen to a line, each line starting with `prefix`.
void append_values(std::string& out, const std::vector<int>& values, size_t begin, size_t end,
                   const char* prefix) {
  for (size_t i = begin; i < end; i += 16) {
    out += prefix;
    for (size_t j = i; j < std::min(end, i + 16); ++j) {
      out += std::to_string(values[j]);
      out += j + 1 < std::min(end, i + 16) ? ", " : ",";
    }
    out += '\n';
  }
}

// A whole array: its declaration and its values.
void append_array(std::string& out, const char* declaration, const std::vector<int>& values) {
  out += declaration;
  out += " = {\n";
  append_values(out, values, 0, values.size(), "    ");
  out += "};\n\n";
}

// An entry array, one group of lines per state.
void append_entry_array(std::string& out, const char* declaration, const Tables& t,
                        int Entry::*field) {
  std::vector<int> values;
  for (const Entry& e : t.entries) values.push_back(e.*field);
  out += declaration;
  out += " = {\n";
  for (size_t s = 0; s < t.kept.size(); ++s) {
    out += "    // state " + std::to_string(s) + "\n";
    append_values(out, values, t.first[s], t.first[s + 1], "    ");
  }
  out += "};\n\n";
}

// A text as a C++ string literal.
std::string quoted(const char* text) {
  std::string q = "\"";
  for (const char* p = text; *p; ++p) {
    if (*p == '"' || *p == '\\') q += '\\';
    q += *p;
  }
  return q + "\"";
}

// The text of the tables' source file.
std::string render(const Tables& t, int single_count) {
  std::string out =
      "// Generated by gen_tables from the grammar (parser/grammar.cpp). Do not edit.\n"
      "#include \"parser/parse_tables.h\"\n\n";
  out += "const int parse_state_count = " + std::to_string(t.kept.size()) + ";\n";
  out += "const int parse_entry_count = " + std::to_string(t.entries.size()) + ";\n";
  out += "const int lr0_state_count = " + std::to_string(states.size()) + ";\n";
  out += "const int lr0_single_count = " + std::to_string(single_count) + ";\n\n";

  append_array(out, "const uint8_t terminal_map[TOKEN_CODE_COUNT]",
               std::vector<int>(grammar_terminal_of_code,
                                grammar_terminal_of_code + TOKEN_CODE_COUNT));
  append_array(out, "const uint16_t state_first[]", t.first);
  append_array(out, "const uint16_t state_default[]", t.deflt);
  append_entry_array(out, "const uint8_t entry_symbol[]", t, &Entry::symbol);
  append_entry_array(out, "const uint8_t entry_kind[]", t, &Entry::kind);
  append_entry_array(out, "const uint8_t entry_param[]", t, &Entry::param);

  std::vector<int> length, left, action;
  for (const Rule& rule : rules) {
    length.push_back(static_cast<int>(rule.right.size()));
    left.push_back(rule.left);
    action.push_back(rule.action ? 1 : 0);
  }
  append_array(out, "const uint8_t rule_length[PRODUCTION_COUNT]", length);
  append_array(out, "const uint8_t rule_left[PRODUCTION_COUNT]", left);
  append_array(out, "const uint8_t rule_action[PRODUCTION_COUNT]", action);

  out += "const char* const symbol_name[SYMBOL_COUNT] = {\n";
  for (int s = 0; s < SYMBOL_COUNT; ++s)
    out += "    " + quoted(grammar_symbol_name[s]) + ",  // " + std::to_string(s) + "\n";
  out += "};\n";
  return out;
}

// ---- parse_productions.h ----

// The word that spells a quoted punctuation terminal in an identifier, or nullptr.
const char* punctuation_word(char c) {
  switch (c) {
    case '.': return "DOT";
    case '#': return "HASH";
    case ',': return "COMMA";
    case ':': return "COLON";
    case '(': return "LPAREN";
    case ')': return "RPAREN";
    case '[': return "LBRACKET";
    case ']': return "RBRACKET";
    case '&': return "AMP";
    case '|': return "BAR";
    case '^': return "CARET";
    case '+': return "PLUS";
    case '-': return "MINUS";
    case '*': return "STAR";
    case '/': return "SLASH";
    case '%': return "PERCENT";
    case '<': return "LESS";
    case '>': return "GREATER";
    default: return nullptr;
  }
}

// A symbol's name as a part of an identifier: a quoted punctuation terminal becomes its word,
// a space becomes '_'. Empty when the name cannot be spelled so.
std::string spelled(const char* name) {
  if (std::strlen(name) == 3 && name[0] == '\'' && name[2] == '\'') {
    const char* word = punctuation_word(name[1]);
    return word ? word : "";
  }
  std::string out;
  for (const char* p = name; *p; ++p) {
    char c = *p;
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '_';
    if (c == ' ')
      out += '_';
    else if (plain)
      out += c;
    else
      return "";
  }
  return out;
}

struct Names {
  std::vector<std::string> production;  // P_ enumerator of each production
  std::vector<std::string> symbol;      // S_ enumerator of each symbol
  int first_instruction = -1;
  int last_instruction = -1;
};

// Adds `name` to `taken`; a name already taken gets the number appended. False when even
// that is taken.
bool make_unique(std::string& name, int number, std::set<std::string>& taken) {
  if (taken.insert(name).second) return true;
  name += '_';
  name += std::to_string(number);
  return taken.insert(name).second;
}

// The enumerator names and the run of instruction productions; false (reported) when the
// grammar cannot be named so.
bool make_names(Names& names) {
  bool ok = true;
  std::vector<std::string> part(SYMBOL_COUNT);
  for (int s = 0; s < SYMBOL_COUNT; ++s) {
    part[s] = spelled(grammar_symbol_name[s]);
    if (part[s].empty()) {
      std::fprintf(stderr, "gen_tables: symbol %d (%s) cannot be spelled as a name\n", s,
                   grammar_symbol_name[s]);
      ok = false;
    }
  }
  if (!ok) return false;

  // Symbol 0, the goal, bears the name of the start symbol; its enumerator is S_GOAL.
  std::set<std::string> taken;
  for (int s = 0; s < SYMBOL_COUNT; ++s) {
    std::string name = s == 0 ? "S_GOAL" : "S_" + part[s];
    if (!make_unique(name, s, taken)) {
      std::fprintf(stderr, "gen_tables: no unique name for symbol %d (%s)\n", s,
                   grammar_symbol_name[s]);
      ok = false;
    }
    names.symbol.push_back(name);
  }

  taken.clear();
  for (int r = 0; r < static_cast<int>(rules.size()); ++r) {
    std::string name = "P_" + part[rules[r].left] + "_";
    for (int s : rules[r].right) name += "_" + part[s];
    if (!make_unique(name, r, taken)) {
      std::fprintf(stderr, "gen_tables: no unique name for production %d (%s)\n", r,
                   rule_text(r).c_str());
      ok = false;
    }
    names.production.push_back(name);
  }

  // The instruction productions: those of the addressing forms, which are the nonterminals
  // that `code` derives in one unit step (Accumulator to Indirect). They must form one run.
  std::set<int> forms;
  for (const Rule& rule : rules)
    if (std::strcmp(grammar_symbol_name[rule.left], "code") == 0 && rule.right.size() == 1 &&
        is_nonterminal(rule.right[0]))
      forms.insert(rule.right[0]);
  for (int r = 0; r < static_cast<int>(rules.size()); ++r) {
    if (!forms.count(rules[r].left)) continue;
    if (names.first_instruction < 0) names.first_instruction = r;
    if (names.last_instruction >= 0 && names.last_instruction != r - 1) {
      std::fprintf(stderr, "gen_tables: the instruction productions are not one run\n");
      return false;
    }
    names.last_instruction = r;
  }
  if (names.first_instruction < 0) {
    std::fprintf(stderr, "gen_tables: no instruction productions found\n");
    return false;
  }
  return ok;
}

// The text of the header of names: an enum of the productions, each with its rule as a
// comment, and one of the grammar symbols.
std::string render_productions(const Names& names) {
  std::string out =
      "// Generated by gen_tables from the grammar (parser/grammar.cpp). Do not edit.\n"
      "// Productions and grammar symbols by name: P_<left side>__<right side>, S_<symbol>;\n"
      "// spaces become '_', quoted punctuation terminals are spelled in words ('.' DOT).\n"
      "#pragma once\n"
      "#include <cstdint>\n\n";
  out += "enum Production : uint8_t {\n";
  for (size_t r = 0; r < rules.size(); ++r) {
    out += "  " + names.production[r] + " = " + std::to_string(r) + ",  // ";
    out += grammar_symbol_name[rules[r].left];
    out += ':';
    for (int s : rules[r].right) {
      out += ' ';
      out += grammar_symbol_name[s];
    }
    out += '\n';
  }
  out += "};\n\n";
  out += "// The instruction productions, one run: those of the addressing forms.\n";
  out += "constexpr int FIRST_INSTRUCTION_PRODUCTION = " +
         std::to_string(names.first_instruction) + ";  // " +
         names.production[names.first_instruction] + "\n";
  out += "constexpr int LAST_INSTRUCTION_PRODUCTION = " + std::to_string(names.last_instruction) +
         ";  // " + names.production[names.last_instruction] + "\n\n";
  out += "enum GrammarSymbolId : uint8_t {\n";
  for (int s = 0; s < SYMBOL_COUNT; ++s) {
    out += "  " + names.symbol[s] + " = " + std::to_string(s) + ",  // ";
    out += grammar_symbol_name[s];
    out += is_nonterminal(s) ? " (nonterminal)\n" : "\n";
  }
  out += "};\n";
  return out;
}

// ---- writing ----

// Writes `text` to a new temporary file in the folder of `path` and returns its name, or ""
// (reported) when creating, writing, syncing or closing it fails; nothing is left behind then.
std::string write_temporary(const std::string& path, const std::string& text) {
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(attempt);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    std::fprintf(stderr, "gen_tables: cannot create %s: %s\n", temp.c_str(),
                 std::strerror(errno));
    return "";
  }
  const char* data = text.data();
  size_t left = text.size();
  int error = 0;
  while (!error && left > 0) {
    ssize_t n = write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (error) {
    std::fprintf(stderr, "gen_tables: cannot write %s: %s\n", temp.c_str(),
                 std::strerror(error));
    unlink(temp.c_str());
    return "";
  }
  return temp;
}

// The header beside the tables: same folder, file name parse_productions.h.
constexpr const char* PRODUCTIONS_HEADER = "parse_productions.h";

// The header of names goes into the folder of the tables' file.
std::string header_path_beside(const std::string& output) {
  size_t slash = output.rfind('/');
  return (slash == std::string::npos ? std::string() : output.substr(0, slash + 1)) +
         PRODUCTIONS_HEADER;
}

int usage() {
  std::fprintf(stderr,
               "usage: gen_tables [--add-conflict | --add-shift-reduce] <output.cpp>\n"
               "  writes the parse tables to <output.cpp> and %s beside it\n",
               PRODUCTIONS_HEADER);
  return 2;
}

}  // namespace

// The command line: one output file, and --add-conflict or --add-shift-reduce (tests of
// the conflict check). Returns false after a usage message.
bool read_arguments(int argc, char** argv, const char*& output, Added& added) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--add-conflict") == 0) {
      added = Added::ReduceReduce;
    } else if (std::strcmp(argv[i], "--add-shift-reduce") == 0) {
      added = Added::ShiftReduce;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "gen_tables: unknown option %s\n", argv[i]);
      return false;
    } else if (output) {
      std::fprintf(stderr, "gen_tables: one output file only (%s and %s given)\n", output, argv[i]);
      return false;
    } else {
      output = argv[i];
    }
  }
  if (!output) return false;
  std::string path = output;
  size_t slash = path.rfind('/');
  std::string file_name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (file_name.empty() || file_name == PRODUCTIONS_HEADER) {
    std::fprintf(stderr, "gen_tables: %s: the output must name a file other than %s\n", output, PRODUCTIONS_HEADER);
    return false;
  }
  return true;
}

// Both files are complete under temporary names before either replaces its target. The
// header goes first: a build tool that judges the pair by the tables file, which comes
// first among the outputs, then sees an old tables file if the second rename fails.
bool write_both(const std::string& tables_path, const std::string& tables_text, const std::string& header_text) {
  std::string header_path = header_path_beside(tables_path);
  std::string header_temp = write_temporary(header_path, header_text);
  if (header_temp.empty()) return false;
  std::string tables_temp = write_temporary(tables_path, tables_text);
  if (tables_temp.empty()) {
    unlink(header_temp.c_str());
    return false;
  }
  if (std::rename(header_temp.c_str(), header_path.c_str()) != 0) {
    std::fprintf(stderr, "gen_tables: cannot replace %s: %s\n", header_path.c_str(), std::strerror(errno));
    unlink(header_temp.c_str());
    unlink(tables_temp.c_str());
    return false;
  }
  if (std::rename(tables_temp.c_str(), tables_path.c_str()) != 0) {
    std::fprintf(stderr, "gen_tables: cannot replace %s: %s\n", tables_path.c_str(), std::strerror(errno));
    unlink(tables_temp.c_str());
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  Added added = Added::Nothing;
  const char* output = nullptr;
  if (!read_arguments(argc, argv, output, added)) return usage();

  load_grammar(added);
  build_lr0_collection();
  int conflicts = check_conflicts();
  if (conflicts > 0) {
    std::fprintf(stderr, "gen_tables: the grammar has %d conflict(s); no tables written\n", conflicts);
    return 1;
  }
  int single_count = 0;
  for (const State& state : states) single_count += state.single ? 1 : 0;

  Tables tables = compress();
  if (check_figures(tables, single_count) > 0) {
    std::fprintf(stderr, "gen_tables: the parse tables differ from the expected figures\n");
    return 1;
  }
  Names names;
  if (!make_names(names)) {
    std::fprintf(stderr, "gen_tables: no names for the productions; nothing written\n");
    return 1;
  }
  if (!write_both(output, render(tables, single_count), render_productions(names))) return 1;
  std::printf("gen_tables: %zu LR(0) states, %d of one completed production, %zu kept, %zu entries\n", states.size(),
              single_count, tables.kept.size(), tables.entries.size());
  return 0;
}
