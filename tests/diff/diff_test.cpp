// The fast layer against the plain core: every input is assembled with the plain core
// alone (FAST_NONE), with each mechanism alone and with all of them, and every run must
// give the plain core's status, standard output, standard error and load file byte for
// byte. The inputs: every entry of the fuzz corpus, a generated program of 100,000 lines
// (clean, with faults, from standard input and from files, with pass 1's record over its
// limit), and sources whose files change between the two passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/programs.h"
#include "tests/support/run_helper.h"

namespace {

using namespace xtest;

// Runs `make` under every setting and checks each against the plain core's run, which it
// returns. `what` names the input in the failure messages.
Outcome compare_settings(const std::string& what, const std::function<Outcome(unsigned)>& make) {
  Outcome plain = make(FAST_NONE);
  for (const FastSetting& s : FAST_SETTINGS) {
    if (s.mechanisms == FAST_NONE) continue;
    std::string d = difference(plain, make(s.mechanisms));
    EXPECT_TRUE(d.empty()) << what << ": XEXASM_FAST=" << s.name << " gives another run than none:\n" << d;
  }
  return plain;
}

RunOptions with(unsigned fast) {
  RunOptions o;
  o.fast = fast;
  return o;
}

TEST(FastSetting, SpellingsOfTheEnvironmentVariable) {
  for (const FastSetting& s : FAST_SETTINGS) {
    unsigned m = 99;
    EXPECT_TRUE(parse_fast_setting(s.name, m)) << s.name;
    EXPECT_EQ(m, s.mechanisms) << s.name;
  }
  unsigned m = 99;
  EXPECT_TRUE(parse_fast_setting("replay,scan", m));
  EXPECT_EQ(m, unsigned{FAST_REPLAY | FAST_SCAN});
  EXPECT_TRUE(parse_fast_setting("scan,engine,replay", m));
  EXPECT_EQ(m, unsigned{FAST_ALL});
  for (const char* bad : {"", "ALL", "Scan", "scan,", ",scan", "scan,,engine", "scan engine", "all,scan", "none,scan", "fast"})
    EXPECT_FALSE(parse_fast_setting(bad, m)) << '"' << bad << '"';
}

// ---- The fuzz corpus -------------------------------------------------------------------

// Every entry, run as the fuzz target runs it (a first byte $01-$05 picks -D, a file or a
// pipe; the rest run as standard input held in memory), in a folder holding the include
// files that the entries name.
TEST(DiffCorpus, EveryEntry) {
  const std::vector<fs::path> entries = corpus_entries(XEXASM_CORPUS_DIR);
  ASSERT_GT(entries.size(), 500u) << "the corpus is missing";

  const ScratchDir dir;
  write_corpus_includes(dir.path());
  const WorkingFolder here(dir.path());
  size_t run = 0, failed = 0;
  for (const fs::path& entry : entries) {
    const std::string input = read_file(entry);
    std::optional<CorpusRun> plain = run_corpus_input(input, FAST_NONE);
    if (!plain) continue;
    run++;
    for (const FastSetting& s : FAST_SETTINGS) {
      if (s.mechanisms == FAST_NONE) continue;
      std::string d = difference(plain->outcome, run_corpus_input(input, s.mechanisms)->outcome);
      if (d.empty()) continue;
      ADD_FAILURE() << entry.filename().string() << ": XEXASM_FAST=" << s.name << " gives another run than none:\n" << d;
      if (++failed == 20) FAIL() << "stopped after 20 differences";
    }
  }
  // Only the entries that could name a file outside the folder are left out.
  EXPECT_GT(run, entries.size() * 9 / 10);
}

// ---- A generated program of 100,000 lines ------------------------------------------------

const std::string& program() {
  static const std::string text = generate_program(100000).text;
  return text;
}

// The program with faults put in, each at the start of a line: at a third, a name that no
// label defines and a branch out of range; at a half, a reference to a zero-page label
// that a section further down defines (3 bytes in pass 1, 2 in pass 2: phase errors
// follow); at five sixths, `last`, a fault that the parser does not get over (a syntax
// error, a parser stack overflow), so that every token after it is diagnosed too.
std::string faulty_program(const std::string& last) {
  std::string t = program();
  auto line_start = [&t](size_t at) { return t.find('\n', at) + 1; };
  auto section_start = [&t](size_t at) { return t.find("\n.SECTION", at) + 1; };
  t.insert(line_start(t.size() * 5 / 6), last);
  t.insert(section_start(t.size() * 2 / 3), ".SECTION \"late\",$00F0\nlate_zp: .DS 1\n");
  t.insert(line_start(t.size() / 2), " LDA late_zp\n");
  t.insert(line_start(t.size() / 3), " JMP nowhere\nfar: BNE far+300\n");
  return t;
}

const std::string& syntax_error_program() {
  static const std::string text = faulty_program(" LDA #1 2\n");
  return text;
}

const std::string& stack_overflow_program() {
  static const std::string text = faulty_program(" .DB " + std::string(200, '[') + "1" + std::string(200, ']') + "\n");
  return text;
}

TEST(DiffProgram, HundredThousandLinesOnStandardInput) {
  Outcome plain = compare_settings("the program", [](unsigned fast) { return run_stdin(program(), with(fast)); });
  EXPECT_EQ(plain.status, 0) << plain.err.substr(0, 500);
  EXPECT_GT(plain.xex.size(), 100000u);
}

// From a file that includes another one at every tenth of its length (the included part
// places bytes, with a character constant above $7F, but defines no label).
TEST(DiffProgram, HundredThousandLinesFromFiles) {
  std::string text = program();
  for (size_t k = 9; k >= 1; k--) text.insert(text.find('\n', text.size() * k / 10) + 1, " INCLUDE \"part.inc\"\n");
  const ScratchDir dir;
  dir.write("prog.asm", text);
  dir.write("part.inc", " .DB 'z,\"included\",-1\n LDA #'\xE9\n");
  Outcome plain = compare_settings("the program from files",
                                   [&](unsigned fast) { return run_in(dir.path(), {"prog.asm"}, with(fast)); });
  EXPECT_EQ(plain.status, 0) << plain.err.substr(0, 500);
  EXPECT_NE(plain.out.find("part.inc\n"), std::string::npos);
}

TEST(DiffProgram, HundredThousandLinesWithFaults) {
  const std::pair<const char*, const std::string*> variants[] = {{"Unexpected NUMBER", &syntax_error_program()},
                                                                 {"Parser stack overflow", &stack_overflow_program()}};
  for (const auto& [last, text] : variants) {
    Outcome plain = compare_settings(std::string("the program with faults up to ") + last,
                                     [text](unsigned fast) { return run_stdin(*text, with(fast)); });
    EXPECT_EQ(plain.status, 1);
    for (const char* message : {"Symbol nowhere Not Defined\n", "Branch Out of Range at ", "Address Phase Error:", last})
      EXPECT_NE(plain.err.find(message), std::string::npos) << message;
  }
}

// Pass 1's record of the parse outgrows its limit (at once, or halfway): pass 2 parses
// again, with the same run as a result.
TEST(DiffProgram, RecordOverItsLimit) {
  for (size_t limit : {size_t{1} << 12, size_t{1} << 18, size_t{5} << 17}) {
    compare_settings("the program with a record limit of " + std::to_string(limit), [limit](unsigned fast) {
      RunOptions o = with(fast);
      o.trace_limit = limit;
      return run_stdin(program(), o);
    });
  }
}

// The harness means something only if the replay does take place: after a pass 1 without
// an error, with the record within its limit.
TEST(DiffProgram, ReplayTakesPlace) {
  for (const FastSetting& s : FAST_SETTINGS)
    EXPECT_EQ(run_stdin(program(), with(s.mechanisms)).replayed, (s.mechanisms & FAST_REPLAY) != 0) << s.name;
  EXPECT_FALSE(run_stdin(syntax_error_program(), with(FAST_ALL)).replayed);
  // From files: every file that pass 1 read is found unchanged (one read twice, the same
  // both times).
  const ScratchDir dir;
  dir.write("x.inc", " NOP\n");
  dir.write("prog.asm", " .SECTION \"a\",$2000\n INCLUDE \"x.inc\"\n NOP\n INCLUDE \"x.inc\"\n");
  EXPECT_TRUE(run_in(dir.path(), {"prog.asm"}, with(FAST_ALL)).replayed);
  // Not when the record outgrows its limit: 2000 data statements record some 60 KB.
  std::string data = " .SECTION \"a\",$2000\n";
  for (int i = 0; i < 2000; i++) data += " .DB 1,2,3\n";
  RunOptions small = with(FAST_ALL);
  small.trace_limit = 4096;
  EXPECT_FALSE(run_stdin(data, small).replayed);
  EXPECT_TRUE(run_stdin(data, with(FAST_ALL)).replayed);
}

// ---- The end of a block ------------------------------------------------------------------

// The reader takes a file in blocks of 64 KiB, and the block scanner reads the tokens that
// lie wholly inside one.
constexpr size_t kBlock = 65536;

// A line holding every kind of token (a label, a hexadecimal operand, a comment ending in
// CR LF, character constants, a string, a number, tabs and a run of blanks) starts at each
// position before the end of the first block in turn, so that every one of them is cut by
// it once.
TEST(DiffBlockEnd, EveryTokenCutByTheEndOfTheFirstBlock) {
  const std::string head = " .SECTION \"a\",$2000\n";
  const std::string line =
      "lbl_0123456789abcdefghij: LDA $12AB,X ; note\r\n .DB 'A,\"str\",98765,'\t,<lbl_0123456789abcdefghij\n"
      "\t        NOP\n";
  for (size_t j = 1; j <= line.size() + 1; j++) {
    // A comment line fills the block up to j bytes before its end.
    const std::string source = head + ";" + std::string(kBlock - j - head.size() - 2, 'x') + "\n" + line + " NOP\n";
    Outcome r = compare_settings("line " + std::to_string(j) + " bytes before the end of the block",
                                 [&](unsigned fast) { return run_source(source, with(fast)); });
    ASSERT_EQ(r.status, 0) << r.err;
  }
}

// The second and last block is short and ends in fewer than eight blanks, which the block
// scanner meets after a bracket (the plain scanner leaves no character pushed back after
// punctuation); the buffer holds the first block's bytes after them, blanks too.
TEST(DiffBlockEnd, BlanksAtTheEndOfTheLastBlock) {
  const std::string head = std::string(100, ' ') + "\n .SECTION \"a\",$2000\n";
  for (size_t blanks = 1; blanks < 8; blanks++) {
    const std::string source =
        head + ";" + std::string(kBlock - head.size() - 2, 'x') + "\n .DB [2]" + std::string(blanks, ' ');
    Outcome r = compare_settings(std::to_string(blanks) + " blanks at the end",
                                 [&](unsigned fast) { return run_source(source, with(fast)); });
    ASSERT_EQ(r.status, 0) << r.err;
  }
}

// ---- Files that change between the passes ----------------------------------------------

// A run of prog.asm (with x.inc beside it when `inc` is not empty) in a fresh folder under
// every setting; `change` runs between the passes. With `listing`, the run writes prog.lst,
// which Outcome::written then holds. Returns the plain core's run.
Outcome changed_between_passes(const std::string& what, const std::string& prog, const std::string& inc,
                               const std::function<void(const ScratchDir&)>& change, bool listing = false) {
  return compare_settings(what, [&](unsigned fast) {
    const ScratchDir dir;
    dir.write("prog.asm", prog);
    if (!inc.empty()) dir.write("x.inc", inc);
    RunOptions o = with(fast);
    if (change) o.between_passes = [&] { change(dir); };
    std::vector<std::string> args = {"prog.asm"};
    if (listing) args.insert(args.begin(), {"-l", "prog.lst"});
    Outcome r = run_in(dir.path(), args, o);
    if (listing) r.written = read_file(dir.path() / "prog.lst");
    return r;
  });
}

// The bytes of a load file's one segment.
std::string segment(const Outcome& r) { return r.xex.size() < 6 ? std::string() : r.xex.substr(6); }

TEST(DiffChangedFiles, NothingChanges) {
  Outcome r = changed_between_passes("unchanged",
                                     " .SECTION \"a\",$2000\nstart: LDA #>msg\n INCLUDE \"x.inc\"\n JMP start\n",
                                     "msg: .DB \"hi\",0\n", nullptr);
  EXPECT_EQ(r.status, 0) << r.err;
  // LDA #$02 (">" takes the low byte; msg follows the two bytes of LDA), "hi" and 0, JMP $2000.
  EXPECT_EQ(segment(r), std::string("\xA9\x02\x68\x69\x00\x4C\x00\x20", 8));
}

TEST(DiffChangedFiles, SourceRewritten) {
  Outcome r = changed_between_passes("rewritten", " .SECTION \"a\",$2000\n LDA #1\n", "",
                                     [](const ScratchDir& d) { d.write("prog.asm", " .SECTION \"a\",$2000\n LDA #2\n"); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(segment(r), std::string("\xA9\x02", 2));
}

TEST(DiffChangedFiles, SourceGrown) {
  Outcome r = changed_between_passes("grown", " .SECTION \"a\",$2000\n NOP\n", "", [](const ScratchDir& d) {
    d.write("prog.asm", " .SECTION \"a\",$2000\n NOP\n NOP\n");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Section a Overflow\n"), std::string::npos) << r.err;
}

// Pass 2 makes a statement more than pass 1 (the same bytes, one more statement): the
// listing shows its byte on a line of its own after pass 1's text.
TEST(DiffChangedFiles, StatementBeyondPassOnesInTheListing) {
  Outcome r = changed_between_passes(
      "one statement more", " .SECTION \"a\",$2000\n .DB 1,2\n", "",
      [](const ScratchDir& d) { d.write("prog.asm", " .SECTION \"a\",$2000\n .DB 1\n .DB 2\n"); }, true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(segment(r), "\x01\x02");
  EXPECT_NE(r.written.find("\n           2001  02\n"), std::string::npos) << r.written;
}

TEST(DiffChangedFiles, IncludeCut) {
  Outcome r = changed_between_passes("include cut", " .SECTION \"a\",$2000\n INCLUDE \"x.inc\"\n", " NOP\n NOP\n",
                                     [](const ScratchDir& d) { d.write("x.inc", " NOP\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Section Size Phase Error:a Pass1=0002  Pass2=0001\n"), std::string::npos) << r.err;
}

TEST(DiffChangedFiles, IncludeRemoved) {
  Outcome r = changed_between_passes("include removed", " .SECTION \"a\",$2000\n INCLUDE \"x.inc\"\n", " NOP\n",
                                     [](const ScratchDir& d) { fs::remove(d.path() / "x.inc"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with("Could not open Include File x.inc\n")) << r.err;
  EXPECT_TRUE(r.out.ends_with("***** PASS 2 *****\nx.inc\n")) << r.out;
}

// Pass 1 ends with the ORG directive reduced for the end of input after an error, a
// reduction that an error would undo; pass 2 starts afresh all the same.
TEST(DiffChangedFiles, PassTwoStartsWithoutPassOnesPendingReduction) {
  Outcome r = changed_between_passes("pending ORG", ".ORG 5 )\n", "",
                                     [](const ScratchDir& d) { d.write("prog.asm", ")\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unexpected ')', line 1, column 8\nUnexpected ')', line 1, column 1\nUnexpected eof, line 2, column 1\n");
}

TEST(DiffChangedFiles, TextAfterTheEndOfTextMark) {
  Outcome r = changed_between_passes("after $1A", " .SECTION \"a\",$2000\n NOP\n\x1A LDA", "", [](const ScratchDir& d) {
    d.write("prog.asm", " .SECTION \"a\",$2000\n NOP\n\x1A anything else, longer\n");
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(segment(r), "\xEA");
}

}  // namespace
