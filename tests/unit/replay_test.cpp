// Pass 2 replays pass 1's parse only while the files still hold what pass 1 read. Files
// changed, grown, cut or removed between the passes must give the run that reading them
// again gives: the same as with the replay turned off, and what the new text means.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "driver/run.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool replayed = false;
  int status = -1;
  std::string out, err, xex;
  bool operator==(const Outcome&) const = default;
};

class ReplayTest : public ::testing::Test {
 protected:
  fs::path dir;
  fs::path old_cwd;

  void SetUp() override {
    char tmpl[] = "/tmp/xexasm_replay_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    old_cwd = fs::current_path();
    fs::current_path(dir);  // include names are relative to the working folder
  }
  void TearDown() override {
    fs::current_path(old_cwd);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  static void write(const std::string& name, const std::string& text) {
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f << text;
  }
  // One run of prog.asm; `change` runs between the passes after the files were written.
  size_t trace_limit = size_t{64} << 20;
  Outcome run(const std::string& prog, const std::string& inc, const std::function<void()>& change,
              bool parse_twice) {
    write("prog.asm", prog);
    if (!inc.empty()) write("x.inc", inc);
    Outcome r;
    RunIO io;
    io.stdout_capture = &r.out;
    io.stderr_capture = &r.err;
    io.xex_capture = &r.xex;
    io.between_passes = change;
    io.parse_twice = parse_twice;
    io.replayed = &r.replayed;
    io.trace_limit = trace_limit;
    r.status = xexasm_run({"prog.asm"}, io);
    return r;
  }
  // Both ways must agree; returns the run.
  Outcome both(const std::string& prog, const std::string& inc, const std::function<void()>& change) {
    Outcome replayed = run(prog, inc, change, false);
    Outcome parsed = run(prog, inc, change, true);
    EXPECT_FALSE(parsed.replayed);
    EXPECT_EQ(replayed.status, parsed.status);
    EXPECT_EQ(replayed.out, parsed.out);
    EXPECT_EQ(replayed.err, parsed.err);
    EXPECT_EQ(replayed.xex, parsed.xex);
    return replayed;
  }
};

// The bytes of a binary load file's one segment (after $FFFF and its start and end).
std::string segment_bytes(const Outcome& r) { return r.xex.size() < 6 ? std::string() : r.xex.substr(6); }

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST_F(ReplayTest, UnchangedFilesGiveTheSameRunBothWays) {
  Outcome r = both(" .SECTION \"a\",$2000\nstart: LDA #>msg\n INCLUDE \"x.inc\"\n JMP start\n", "msg: .DB \"hi\",0\n",
                   nullptr);
  EXPECT_EQ(r.status, 0) << r.err;
  // LDA #$02 (">" takes the low byte; msg follows the two bytes of LDA), "hi" and 0, JMP $2000.
  EXPECT_EQ(segment_bytes(r), std::string("\xA9\x02\x68\x69\x00\x4C\x00\x20", 8));
  EXPECT_EQ(count(r.out, "x.inc\n"), 2u);  // the include switch is shown in both passes
  EXPECT_TRUE(r.replayed);
}

TEST_F(ReplayTest, SourceRewrittenBetweenThePassesIsReadAgain) {
  Outcome r = both(" .SECTION \"a\",$2000\n LDA #1\n", "", [] { write("prog.asm", " .SECTION \"a\",$2000\n LDA #2\n"); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(segment_bytes(r), std::string("\xA9\x02", 2));
  EXPECT_FALSE(r.replayed);
}

TEST_F(ReplayTest, SourceGrownBetweenThePassesIsReadAgain) {
  Outcome r = both(" .SECTION \"a\",$2000\n NOP\n", "",
                   [] { write("prog.asm", " .SECTION \"a\",$2000\n NOP\n NOP\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Section a Overflow\n"), std::string::npos) << r.err;
  EXPECT_FALSE(r.replayed);
}

TEST_F(ReplayTest, IncludeCutBetweenThePassesIsReadAgain) {
  Outcome r = both(" .SECTION \"a\",$2000\n INCLUDE \"x.inc\"\n", " NOP\n NOP\n", [] { write("x.inc", " NOP\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Section Size Phase Error:a Pass1=0002  Pass2=0001\n"), std::string::npos) << r.err;
  EXPECT_FALSE(r.replayed);
}

TEST_F(ReplayTest, IncludeRemovedBetweenThePassesStopsPass2) {
  Outcome r = both(" .SECTION \"a\",$2000\n INCLUDE \"x.inc\"\n", " NOP\n", [] { fs::remove("x.inc"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with("Could not open Include File x.inc\n")) << r.err;
  EXPECT_TRUE(r.out.ends_with("***** PASS 2 *****\nx.inc\n")) << r.out;
  EXPECT_FALSE(r.replayed);
}

TEST_F(ReplayTest, TextAfterTheEndOfTextMarkMayChange) {
  Outcome r = both(" .SECTION \"a\",$2000\n NOP\n\x1A LDA", "",
                   [] { write("prog.asm", " .SECTION \"a\",$2000\n NOP\n\x1A anything else, longer\n"); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(segment_bytes(r), "\xEA");
}

// A long source with every kind of literal, strings and includes: the trace spans many
// chunks, and every value must come back as it was read.
TEST_F(ReplayTest, LongSourceWithEveryLiteralKind) {
  std::string prog;
  std::string inc = " .DB 'z,\"included\",-1\n";
  for (int i = 0; i < 40000; i++) {
    std::string n = std::to_string(i);
    if (i % 1000 == 0) prog += " .SECTION \"d" + n + "\",$1000\n";  // addresses stay below $10000
    prog += "l" + n + ": .DB " + n + ",$" + std::to_string(i % 10) + "F,'\xE9,'a,128,16383,16384\n";
    prog += " .DW l" + n + "+$7FFFFFFF,4294967295*3,[" + n + "-l" + n + "]/7,>l" + n + "\n";
    prog += " .DL \"s" + n + "\"\n";
    if (i % 5000 == 0) prog += " INCLUDE \"x.inc\"\n";
    if (i % 7000 == 0) prog += " .DS 3\n";
  }
  Outcome r = both(prog, inc, nullptr);
  EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() > 300 ? r.err.size() - 300 : 0);
  EXPECT_TRUE(r.replayed);
  EXPECT_GT(r.xex.size(), 1000000u);
}

// A record of pass 1 that outgrows its limit is dropped halfway: pass 2 then parses again,
// with the same run as a result.
TEST_F(ReplayTest, TraceOverItsLimitFallsBackToParsingAgain) {
  std::string prog;
  for (int i = 0; i < 120000; i++) {
    if (i % 10000 == 0) prog += " .SECTION \"s" + std::to_string(i) + "\",$1000\n";  // below $10000
    prog += "l" + std::to_string(i) + ": LDA l" + std::to_string(i) + ",X\n";
  }
  trace_limit = size_t{64} << 20;
  Outcome whole = run(prog, "", nullptr, false);
  EXPECT_TRUE(whole.replayed);
  EXPECT_EQ(whole.status, 0) << whole.err.substr(0, 200);
  // LDA l0,X at $1000: absolute,X ($BD) with the label's own address.
  EXPECT_EQ(whole.xex.substr(6, 3), std::string("\xBD\x00\x10", 3));
  // Limits of one chunk (refused at the first value) and of two and a half (refused
  // halfway, when the shapes need their second chunk).
  for (size_t limit : {size_t{1} << 18, size_t{5} << 17}) {
    trace_limit = limit;
    Outcome r = both(prog, "", nullptr);
    EXPECT_FALSE(r.replayed) << limit;
    EXPECT_EQ(r.status, 0) << limit;
    EXPECT_EQ(r.xex, whole.xex) << limit;
    EXPECT_EQ(r.out, whole.out) << limit;
    EXPECT_EQ(r.err, whole.err) << limit;
  }
}

// A program with more symbols than the caches hold: pass 1 reads tokens ahead in batches
// (never with XEXASM_PARSE_TWICE). Names long and short, forward and backward references,
// zero-page and absolute operands, branches, comments and blank lines, lines that cross
// the reader's blocks, an INCLUDE and a string in between (which end a batch); then the
// same with a syntax error, and with a name that no label defines. Both ways must agree
// in every byte.
TEST_F(ReplayTest, BigProgramReadAheadInBatches) {
  std::string prog = " .SECTION \"z\",$80\nzp: .DS 4\n";
  for (int i = 0; i < 48000; i++) {
    std::string n = std::to_string(i);
    if (i % 4000 == 0) prog += " .SECTION \"c" + n + "\",$1000\n";  // below $10000
    std::string longer = "a_rather_long_routine_name_" + n;
    prog += longer + ": LDA zp,X  ; comment " + n + "\n";
    prog += "\tJSR " + longer + "\n";
    prog += "s" + n + ": STA s" + std::to_string(i + 1 < 48000 ? i + 1 : 0) + "+1\n\n";
    prog += " BNE s" + n + "\n LDX #<[" + longer + "+3]\n";
    if (i % 9000 == 4500) prog += " INCLUDE \"x.inc\"\n .DB \"text\",'q\n";
  }
  Outcome r = both(prog, " NOP\n", nullptr);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 300);
  EXPECT_TRUE(r.replayed);
  EXPECT_GT(r.out.size(), 2000000u);

  std::string bad = prog;
  bad.insert(bad.find('\n', bad.size() / 2) + 1, " LDA #1 2\n");
  Outcome b = both(bad, " NOP\n", nullptr);
  EXPECT_EQ(b.status, 1);
  EXPECT_NE(b.err.find("Unexpected"), std::string::npos) << b.err.substr(0, 300);

  std::string undefined = prog;
  undefined.insert(undefined.find('\n', undefined.size() / 2) + 1, " JMP nowhere\n");
  Outcome u = both(undefined, " NOP\n", nullptr);
  EXPECT_EQ(u.status, 1);
  EXPECT_NE(u.err.find("Symbol nowhere Not Defined"), std::string::npos) << u.err.substr(0, 300);
}

// Pass 1 hashes each file as its reads come; the check before pass 2 reads it in other
// pieces. However the bytes are cut, the hash must be the same, and a changed byte anywhere
// must change it.
TEST(InputHash, SameForEveryCutAndChangedByEveryByte) {
  std::string text;
  for (int i = 0; i < 300; i++) text += static_cast<char>('!' + (i * 7) % 90);
  auto hash_in_pieces = [](const std::string& bytes, size_t first, size_t second) {
    InputRecord rec;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    input_record_bytes(rec, p, first);
    input_record_bytes(rec, p + first, second - first);
    input_record_bytes(rec, p + second, bytes.size() - second);
    return input_record_hash(rec);
  };
  uint64_t whole = hash_in_pieces(text, 0, 0);
  for (size_t first = 0; first <= text.size(); first += 3)
    for (size_t second = first; second <= text.size(); second += 17)
      ASSERT_EQ(hash_in_pieces(text, first, second), whole) << first << " " << second;
  for (size_t i = 0; i < text.size(); i++) {
    std::string changed = text;
    changed[i] ^= 1;
    ASSERT_NE(hash_in_pieces(changed, i / 2, i), whole) << i;
  }
  EXPECT_NE(hash_in_pieces(text + '\0', 0, 0), whole);  // a longer file
}

}  // namespace
