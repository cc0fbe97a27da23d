// The generated parse tables: their layout, the compression rules, and what a walk over
// them does for a few token sequences.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "parser/grammar.h"
#include "parser/parse_tables.h"
#include "tests/support/run_helper.h"

namespace {

// Symbol numbers used below.
constexpr int TOLV = 1, STATEMENT_LIST = 2, EOF_T = 3, STATEMENT = 4, DIRECTIVE = 5, CODE = 6,
              LABLE = 7, DOT = 8, ORG = 9, DB = 11, SECTIONTOK = 16, COMMA = 18, IMPLIED = 21,
              ASL = 30, ACCUM = 31, NOP = 59, HASH = 61, LDA = 68, LDX = 69, JMP = 75,
              XREG = 88, YREG = 89, LPAREN = 90, RPAREN = 91, MINUS = 99, GREATER = 105,
              STRING = 111, NUMBER = 112, HEX_NUMBER = 113, COLON = 115, IDENT = 116;

// Productions that are unit productions without action and never reduced.
const std::set<int> kSkippedUnits = {2, 4, 5, 6, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};

int run_end(int s) { return state_first[s + 1]; }

// Terminal entry of state s for terminal t (run 1 or the default entry).
int terminal_entry(int s, int t) {
  for (int e = state_first[s]; e < state_default[s]; ++e)
    if (entry_symbol[e] == t) return e;
  return state_default[s];
}

int goto_entry(int s, int symbol) {
  for (int e = state_default[s] + 1; e < run_end(s); ++e)
    if (entry_symbol[e] == symbol) return e;
  return -1;
}

bool is_reduction(int kind, bool in_goto_run) {
  return in_goto_run ? (kind == GOTO_REDUCE || kind == GOTO_REDUCE_PLAIN)
                     : (kind == ACT_SHIFT_REDUCE || kind == ACT_SHIFT_REDUCE_PLAIN ||
                        kind == ACT_REDUCE || kind == ACT_REDUCE_PROVISIONAL);
}

// A walk over the tables that follows the engine's steps without values or actions.
struct Walker {
  enum Status { RUNNING = 0, ACCEPTED = 1, SYNTAX_ERROR = 2, STACK_OVERFLOW = 4 };
  int state = 0;
  int depth = 0;
  int stack[128] = {};
  int status = RUNNING;
  int provisional_terminal = -1, provisional_depth = 0, provisional_state = 0;
  int error_state = -1;  // the state in which the last syntax error was diagnosed
  std::vector<int> reductions;

  void goto_chain(int produced) {
    while (status == RUNNING) {
      int e = goto_entry(state, produced);
      ASSERT_GE(e, 0) << "no goto on " << produced << " in state " << state;
      int p = entry_param[e];
      if (entry_kind[e] == GOTO_STATE) {
        ++depth;
        state = p;
        return;
      }
      if (entry_kind[e] == GOTO_ACCEPT) {
        status = ACCEPTED;
        return;
      }
      if (rule_length[p] > 1) {
        depth -= rule_length[p] - 1;
        state = stack[depth];
      }
      produced = rule_left[p];
      reductions.push_back(p);
    }
  }

  void feed(int terminal) {
    for (;;) {
      int e = terminal_entry(state, terminal);
      int p = entry_param[e];
      switch (entry_kind[e]) {
        case ACT_SHIFT:
          if (depth == 128) { status = STACK_OVERFLOW; return; }
          provisional_terminal = -1;
          stack[depth++] = state;
          state = p;
          return;
        case ACT_SHIFT_REDUCE:
        case ACT_SHIFT_REDUCE_PLAIN:
          if (depth == 128) { status = STACK_OVERFLOW; return; }
          provisional_terminal = -1;
          if (rule_length[p] > 1) {
            depth -= rule_length[p] - 1;
            state = stack[depth];
          }
          stack[depth] = state;
          reductions.push_back(p);
          goto_chain(rule_left[p]);
          return;
        case ACT_REDUCE:
          provisional_terminal = -1;
          depth -= rule_length[p];
          state = stack[depth];
          reductions.push_back(p);
          goto_chain(rule_left[p]);
          break;
        case ACT_REDUCE_PROVISIONAL:
          if (provisional_terminal < 0) {
            provisional_terminal = terminal;
            provisional_depth = depth;
            provisional_state = state;
          }
          depth -= rule_length[p];
          state = stack[depth];
          reductions.push_back(p);
          goto_chain(rule_left[p]);
          break;
        default:
          if (provisional_terminal >= 0) {
            depth = provisional_depth;
            state = provisional_state;
            provisional_terminal = -1;
          }
          status = SYNTAX_ERROR;
          error_state = state;
          return;
      }
      if (status != RUNNING) return;
    }
  }

  void feed_all(const std::vector<int>& terminals) {
    for (int t : terminals) feed(t);
  }
};

// The terminal a "Missing" diagnostic would name in state s, or -1 for "Unexpected".
int missing_terminal(int s) {
  bool one_shift = state_default[s] - state_first[s] == 1;
  return one_shift && entry_kind[state_default[s]] == ACT_ERROR ? entry_symbol[state_first[s]]
                                                                : -1;
}

TEST(ParseTables, StateZeroHoldsEveryWayToStartASource) {
  // 56 mnemonics, '.' and IDENT; the default; gotos on tolv, statement list, statement,
  // directive, code, lable, the ten addressing forms and Ident.
  EXPECT_EQ(state_default[0] - state_first[0], 58);
  EXPECT_EQ(run_end(0) - state_default[0] - 1, 17);
  EXPECT_EQ(entry_kind[state_default[0]], ACT_ERROR);
}

// (The generator itself checks the figures: states before and after compression, entries.)
TEST(ParseTables, RunsAreOrderedAndWellFormed) {
  EXPECT_EQ(state_first[0], 0);
  EXPECT_EQ(state_first[parse_state_count], parse_entry_count);
  for (int s = 0; s < parse_state_count; ++s) {
    SCOPED_TRACE("state " + std::to_string(s));
    ASSERT_LE(state_first[s], state_default[s]);
    ASSERT_LT(state_default[s], state_first[s + 1]);
    for (int e = state_first[s]; e < state_default[s]; ++e) {
      EXPECT_FALSE(grammar_is_nonterminal(entry_symbol[e]));
      EXPECT_NE(entry_symbol[e], 0);
      if (e + 1 < state_default[s]) {
        EXPECT_GT(entry_symbol[e], entry_symbol[e + 1]);
      }
      EXPECT_TRUE(entry_kind[e] == ACT_SHIFT || entry_kind[e] == ACT_SHIFT_REDUCE ||
                  entry_kind[e] == ACT_SHIFT_REDUCE_PLAIN)
          << "kind " << int(entry_kind[e]);
    }
    int d = state_default[s];
    EXPECT_EQ(entry_symbol[d], 0);
    EXPECT_TRUE(entry_kind[d] == ACT_REDUCE || entry_kind[d] == ACT_REDUCE_PROVISIONAL ||
                entry_kind[d] == ACT_ERROR);
    if (entry_kind[d] == ACT_ERROR) {
      EXPECT_EQ(entry_param[d], 0);
    }
    for (int e = d + 1; e < run_end(s); ++e) {
      EXPECT_TRUE(grammar_is_nonterminal(entry_symbol[e]));
      if (e + 1 < run_end(s)) {
        EXPECT_LT(entry_symbol[e], entry_symbol[e + 1]);
      }
      EXPECT_LE(entry_kind[e], GOTO_REDUCE_PLAIN);
    }
    for (int e = state_first[s]; e < run_end(s); ++e) {
      int kind = entry_kind[e];
      bool go = e > d;
      if ((go && kind == GOTO_STATE) || (!go && kind == ACT_SHIFT)) {
        EXPECT_LT(entry_param[e], parse_state_count);
      } else if (kind != ACT_ERROR && !(go && kind == GOTO_ACCEPT)) {
        EXPECT_LT(entry_param[e], PRODUCTION_COUNT);
      }
    }
  }
}

TEST(ParseTables, ReductionKindsMatchTheActions) {
  std::set<int> reduced;
  for (int s = 0; s < parse_state_count; ++s) {
    for (int e = state_first[s]; e < run_end(s); ++e) {
      bool go = e > state_default[s];
      int kind = entry_kind[e];
      if (!is_reduction(kind, go)) continue;
      int p = entry_param[e];
      reduced.insert(p);
      bool with_action =
          go ? kind == GOTO_REDUCE : (kind == ACT_SHIFT_REDUCE || kind == ACT_REDUCE);
      EXPECT_EQ(with_action, grammar_productions[p].has_action != 0)
          << "production " << p << " in state " << s << " kind " << kind;
      EXPECT_EQ(kSkippedUnits.count(p), 0u) << "unit production " << p << " is reduced";
      // A shift carries a reduction only of a production that ends with that terminal.
      if (!go && (kind == ACT_SHIFT_REDUCE || kind == ACT_SHIFT_REDUCE_PLAIN)) {
        EXPECT_EQ(grammar_productions[p].right[grammar_productions[p].length - 1],
                  entry_symbol[e]);
      }
    }
  }
  // Every other production but the goal can be reduced somewhere.
  for (int p = 1; p < PRODUCTION_COUNT; ++p) {
    if (!kSkippedUnits.count(p)) {
      EXPECT_EQ(reduced.count(p), 1u) << "production " << p;
    }
  }
  EXPECT_EQ(reduced.count(0), 0u);
}

TEST(ParseTables, OnlyTheOrgDirectiveIsReducedProvisionally) {
  // Of the productions without action, only '.' ORG expr is ever reduced while waiting
  // for the next token: the others end with a terminal, or with a symbol nothing can follow.
  std::vector<int> provisional;
  for (int s = 0; s < parse_state_count; ++s)
    if (entry_kind[state_default[s]] == ACT_REDUCE_PROVISIONAL)
      provisional.push_back(entry_param[state_default[s]]);
  EXPECT_EQ(provisional, std::vector<int>{7});
}

TEST(ParseTables, UnitChainsGoStraightToTheStatementList) {
  int list = goto_entry(0, STATEMENT_LIST);
  ASSERT_GE(list, 0);
  EXPECT_EQ(entry_kind[list], GOTO_STATE);
  for (int n : {STATEMENT, CODE, IMPLIED, DIRECTIVE, LABLE}) {
    int e = goto_entry(0, n);
    ASSERT_GE(e, 0) << n;
    EXPECT_EQ(entry_kind[e], GOTO_STATE) << n;
    EXPECT_EQ(entry_param[e], entry_param[list]) << n;
  }
  int tolv = goto_entry(0, TOLV);
  ASSERT_GE(tolv, 0);
  EXPECT_EQ(entry_kind[tolv], GOTO_ACCEPT);

  // After a statement list, each further statement is production 3 at once, and eof
  // completes production 1.
  int s = entry_param[list];
  for (int n : {STATEMENT, CODE, IMPLIED, DIRECTIVE, LABLE}) {
    int e = goto_entry(s, n);
    ASSERT_GE(e, 0) << n;
    EXPECT_EQ(entry_kind[e], GOTO_REDUCE_PLAIN) << n;
    EXPECT_EQ(entry_param[e], 3) << n;
  }
  int eof = terminal_entry(s, EOF_T);
  EXPECT_EQ(entry_kind[eof], ACT_SHIFT_REDUCE_PLAIN);
  EXPECT_EQ(entry_param[eof], 1);

  int accepts = 0;
  for (int st = 0; st < parse_state_count; ++st)
    for (int e = state_default[st] + 1; e < run_end(st); ++e)
      accepts += entry_kind[e] == GOTO_ACCEPT;
  EXPECT_EQ(accepts, 1);
}

TEST(ParseTables, TerminalMapAndRuleData) {
  EXPECT_EQ(terminal_map[285], LDA);
  EXPECT_EQ(terminal_map[313], ACCUM);
  EXPECT_EQ(terminal_map[314], XREG);
  EXPECT_EQ(terminal_map[315], YREG);
  EXPECT_EQ(terminal_map[303], 0);  // SVC
  EXPECT_EQ(terminal_map[326], 0);  // INCLUDE
  EXPECT_EQ(terminal_map[327], SECTIONTOK);
  EXPECT_EQ(terminal_map[int(',')], COMMA);
  EXPECT_EQ(terminal_map[int('|')], 94);
  EXPECT_EQ(terminal_map[0], EOF_T);
  EXPECT_EQ(terminal_map[int('A')], 0);
  int mapped = 0;
  for (int c = 0; c < TOKEN_CODE_COUNT; ++c) {
    EXPECT_EQ(terminal_map[c], grammar_terminal_of_code[c]);
    if (terminal_map[c] != 0) {
      ++mapped;
      EXPECT_FALSE(grammar_is_nonterminal(terminal_map[c])) << c;
    }
  }
  // eof, 18 punctuation characters, 56 mnemonics, A X Y, 5 directive words, SECTION and
  // the 5 token classes.
  EXPECT_EQ(mapped, 1 + 18 + 56 + 3 + 5 + 1 + 5);

  for (int p = 0; p < PRODUCTION_COUNT; ++p) {
    EXPECT_EQ(rule_length[p], grammar_productions[p].length) << p;
    EXPECT_EQ(rule_left[p], grammar_productions[p].left) << p;
    EXPECT_EQ(rule_action[p] != 0, grammar_productions[p].has_action != 0) << p;
  }
  EXPECT_EQ(rule_left[0], 0);
  EXPECT_EQ(rule_length[0], 1);
  EXPECT_EQ(grammar_productions[0].right[0], TOLV);
  EXPECT_EQ(std::string(symbol_name[0]), "tolv");
  EXPECT_EQ(std::string(symbol_name[TOLV]), "tolv");
  EXPECT_EQ(std::string(symbol_name[STATEMENT_LIST]), "statement list");
  EXPECT_EQ(std::string(symbol_name[COMMA]), "','");
  EXPECT_EQ(std::string(symbol_name[IDENT]), "IDENT");
}

TEST(ParseTables, MissingIsGivenOnlyInItsPlaces) {
  // ':' after a statement's identifier; STRING after SECTIONTOK; XREG after the comma of
  // ASL LSR DEC INC LDY ROL ROR STY and YREG after that of LDX STX; for the eight mnemonics
  // with indirect forms: XREG after "(expr,", ')' after "(expr,X", ',' after "(expr)" and
  // YREG after "(expr),".
  std::map<int, int> missing;
  for (int s = 0; s < parse_state_count; ++s)
    if (int t = missing_terminal(s); t >= 0) ++missing[t];
  std::map<int, int> expected = {{COLON, 1}, {STRING, 1}, {XREG, 8 + 8},
                                 {YREG, 2 + 8}, {RPAREN, 8}, {COMMA, 8}};
  EXPECT_EQ(missing, expected);
}

TEST(ParseTables, WalkAcceptsSmallSources) {
  Walker nop;
  nop.feed_all({NOP, EOF_T});
  EXPECT_EQ(nop.status, Walker::ACCEPTED);

  Walker two;  // LDA 1 LDX 2, then a label and JMP (label)
  two.feed_all({LDA, NUMBER, LDX, NUMBER, IDENT, COLON, JMP, LPAREN, IDENT, RPAREN, EOF_T});
  EXPECT_EQ(two.status, Walker::ACCEPTED);

  Walker empty;
  empty.feed(EOF_T);
  EXPECT_EQ(empty.status, Walker::SYNTAX_ERROR);
  EXPECT_EQ(missing_terminal(empty.error_state), -1);
}

TEST(ParseTables, ReductionsHappenWhenTheirLastSymbolIsComplete) {
  // LDA #>$1234: the literal climbs to mulexp as soon as it is shifted; the rest waits for
  // the next token.
  Walker w;
  w.feed_all({LDA, HASH, GREATER, HEX_NUMBER});
  EXPECT_EQ(w.reductions, (std::vector<int>{164, 160, 155, 157, 154}));
  w.feed(EOF_T);
  EXPECT_EQ(w.reductions, (std::vector<int>{164, 160, 155, 157, 154, 150, 147, 145, 64, 1}));
  EXPECT_EQ(w.status, Walker::ACCEPTED);

  // An identifier becomes Ident the moment it is shifted, before the ':' is seen.
  Walker label;
  label.feed(IDENT);
  EXPECT_EQ(label.reductions, std::vector<int>{167});
  EXPECT_EQ(missing_terminal(label.state), COLON);
  label.feed(NOP);
  EXPECT_EQ(label.status, Walker::SYNTAX_ERROR);

  // ASL A is complete when A is shifted.
  Walker asl;
  asl.feed_all({ASL, ACCUM});
  EXPECT_EQ(asl.reductions, std::vector<int>{28});
}

TEST(ParseTables, WalkDiagnosticStates) {
  Walker section;
  section.feed_all({DOT, SECTIONTOK});
  EXPECT_EQ(missing_terminal(section.state), STRING);
  section.feed(EOF_T);
  EXPECT_EQ(section.status, Walker::SYNTAX_ERROR);

  Walker ldx;  // LDX 5,X
  ldx.feed_all({LDX, NUMBER, COMMA});
  EXPECT_EQ(missing_terminal(ldx.state), YREG);

  Walker lda;  // LDA 5, with both index forms
  lda.feed_all({LDA, NUMBER, COMMA});
  EXPECT_EQ(missing_terminal(lda.state), -1);

  Walker paren;  // LDA (5)
  paren.feed_all({LDA, LPAREN, NUMBER, RPAREN});
  EXPECT_EQ(missing_terminal(paren.state), COMMA);

  Walker jmp;  // JMP (5),Y: the comma is unexpected
  jmp.feed_all({JMP, LPAREN, NUMBER, RPAREN, COMMA});
  EXPECT_EQ(jmp.status, Walker::SYNTAX_ERROR);
  EXPECT_EQ(missing_terminal(jmp.error_state), -1);

  // .ORG 5 followed by '#': the provisional reduction of the directive is undone and the
  // error is seen in the state after the expression.
  Walker org;
  org.feed_all({DOT, ORG, NUMBER});
  int after_expression_depth = org.depth;
  org.feed(HASH);
  EXPECT_EQ(org.status, Walker::SYNTAX_ERROR);
  EXPECT_EQ(org.depth, after_expression_depth);
  EXPECT_EQ(missing_terminal(org.error_state), -1);
  EXPECT_TRUE(grammar_productions[7].has_action == 0);
  EXPECT_NE(std::find(org.reductions.begin(), org.reductions.end(), 7), org.reductions.end());
}

TEST(ParseTables, StackLimitForPrefixMinusSigns) {
  // '.' and DB take two entries, each '-' one; the number is the 128th entry at most.
  auto run = [](int minus_signs) {
    Walker w;
    w.feed_all({DOT, DB});
    for (int i = 0; i < minus_signs; ++i) w.feed(MINUS);
    w.feed(NUMBER);
    int after_number = w.status;
    w.feed(EOF_T);
    return after_number == Walker::RUNNING ? w.status : after_number;
  };
  EXPECT_EQ(run(125), Walker::ACCEPTED);
  EXPECT_EQ(run(126), Walker::STACK_OVERFLOW);
}

// Runs the table generator in `dir` with the arguments; its standard error goes to
// `errors`. No file it writes may grow past `file_limit` bytes: a write beyond fails. With
// `stale`, a file of the first temporary name the generator takes for `stale` is there
// already (as an earlier run of the same process number would have left it).
int run_generator(const xtest::ScratchDir& dir, const std::vector<std::string>& args, std::string* errors,
                  rlim_t file_limit = RLIM_INFINITY, const char* stale = nullptr) {
  const std::filesystem::path err_path = dir.path() / "gen_tables.err";
  pid_t child = fork();
  if (child == 0) {
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null = open("/dev/null", O_WRONLY);
    if (err < 0 || null < 0 || dup2(err, 2) < 0 || dup2(null, 1) < 0 || chdir(dir.path().c_str()) != 0) _exit(120);
    struct rlimit limit = {file_limit, file_limit};
    signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(121);
    char temporary[256];
    if (stale) std::snprintf(temporary, sizeof temporary, "%s.tmp%d_0", stale, static_cast<int>(getpid()));
    if (stale && close(open(temporary, O_WRONLY | O_CREAT | O_EXCL, 0644)) != 0) _exit(123);
    std::vector<char*> argv{const_cast<char*>(XEXASM_GEN_TABLES)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(XEXASM_GEN_TABLES, argv.data());
    _exit(122);
  }
  int status = -1;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  *errors = xtest::read_file(err_path);
  std::filesystem::remove(err_path);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GenTables, RefusesAConflictingGrammar) {
  // The tables and, beside them (not in the folder the generator runs in), the header of
  // the production names; a refused grammar leaves no file at all.
  const xtest::ScratchDir dir;
  const std::filesystem::path sub = dir.path() / "sub";
  std::filesystem::create_directory(sub);
  const std::filesystem::path out = sub / "tables.cpp", header = sub / "parse_productions.h";
  std::string errors;
  EXPECT_EQ(run_generator(dir, {out.string()}, &errors), 0) << errors;
  EXPECT_TRUE(std::filesystem::is_regular_file(out));
  EXPECT_TRUE(std::filesystem::is_regular_file(header));
  std::filesystem::remove(out);
  std::filesystem::remove(header);

  // Number -> IDENT and Ident -> IDENT are both complete in the one state that an
  // identifier inside an expression leads to: one reduce/reduce conflict, nothing else.
  EXPECT_EQ(run_generator(dir, {"--add-conflict", out.string()}, &errors), 1);
  EXPECT_NE(errors.find("reduce/reduce conflict"), std::string::npos) << errors;
  EXPECT_NE(errors.find("the grammar has 1 conflict(s)"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(header));
  EXPECT_TRUE(std::filesystem::is_empty(sub)) << "a partial file was left behind";

  // DBlist -> DBlist ',': after a list's comma an identifier is an item or the next
  // statement; shift/reduce conflicts only, and the grammar is refused all the same.
  EXPECT_EQ(run_generator(dir, {"--add-shift-reduce", out.string()}, &errors), 1);
  EXPECT_NE(errors.find("shift/reduce conflict"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("reduce/reduce conflict"), std::string::npos) << errors;
  EXPECT_TRUE(std::filesystem::is_empty(sub)) << "a partial file was left behind";
}

// A bad command line ends the generator with status 2 before it writes anything.
TEST(GenTables, RefusesABadCommandLine) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                      // no output
      {"a.cpp", "b.cpp"},                      // two outputs
      {"-x"},                                  // an option it does not know
      {"--add-conflict", "-"},                 // likewise, after a known one
      {"parse_productions.h"},                 // the output would be the header itself
      {"sub/"},                                // no file name
  };
  for (const std::vector<std::string>& args : bad) {
    const xtest::ScratchDir dir;
    std::string shown, errors;
    for (const std::string& a : args) shown += " '" + a + "'";
    EXPECT_EQ(run_generator(dir, args, &errors), 2) << shown << ": " << errors;
    EXPECT_NE(errors.find("usage: gen_tables"), std::string::npos) << shown << ": " << errors;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << shown << " wrote a file";
  }
}

// A temporary name that is taken already is passed over for the next, and the file that
// holds it is left alone.
TEST(GenTables, PassesOverATakenTemporaryName) {
  const xtest::ScratchDir dir;
  std::string errors;
  EXPECT_EQ(run_generator(dir, {"tables.cpp"}, &errors, RLIM_INFINITY, "parse_productions.h"), 0) << errors;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "tables.cpp"));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "parse_productions.h"));
  auto files = std::filesystem::directory_iterator(dir.path());
  EXPECT_EQ(std::distance(begin(files), end(files)), 3);  // the taken name's file too
}

// A write that fails (here: past the file size limit) leaves neither file, nor either
// temporary, whichever of the two it hits.
TEST(GenTables, FailedWriteLeavesNoFile) {
  const xtest::ScratchDir dir;
  std::string errors;
  ASSERT_EQ(run_generator(dir, {"tables.cpp"}, &errors), 0) << errors;
  const auto header_size = std::filesystem::file_size(dir.path() / "parse_productions.h");
  const auto tables_size = std::filesystem::file_size(dir.path() / "tables.cpp");
  ASSERT_LT(header_size, tables_size);  // the header is written first, and whole in the second run
  std::filesystem::remove(dir.path() / "parse_productions.h");
  std::filesystem::remove(dir.path() / "tables.cpp");
  for (rlim_t limit : {rlim_t{1024}, static_cast<rlim_t>(header_size)}) {
    EXPECT_EQ(run_generator(dir, {"tables.cpp"}, &errors, limit), 1) << limit << ": " << errors;
    EXPECT_NE(errors.find("gen_tables: cannot write"), std::string::npos) << limit << ": " << errors;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << limit << ": a partial file was left behind";
  }
}

}  // namespace
