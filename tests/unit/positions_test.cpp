// Source positions at the end of their range: a line or column counter that reaches the
// largest 32-bit value stays there (2^31 line feeds or 2^28 tabs are too big a source for a
// test, so the reader starts near the limit). The plain scanner, the block scanner and the
// block scanner on its own thread must count alike.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "fast/prescan.h"
#include "tests/support/run_fixture.h"

namespace {

enum class Cutter { Plain, Block, Thread };

class PositionLimit : public RunFixture, public testing::WithParamInterface<Cutter> {
 protected:
  // The tokens of `text` read from a position just below the limits, with the plain
  // scanner or the block scanner: code and position of each, up to the end of input.
  std::string tokens_from(const std::string& text, SrcPos start) {
    text_ = text;
    run_->reader.stdin_given = &text_;
    reader_open_source(nullptr);
    run_->reader.current->pos = start;
    std::string seen;
    Prescan prescan;
    prescan.min_job = 1;
    prescan.patience = UINT_MAX;  // every job to the thread
    prescan.inline_run = 0;
    for (;;) {
      int code = GetParam() == Cutter::Plain ? next_token()
                 : GetParam() == Cutter::Block ? fast_next_token()
                                               : prescan_next_token(prescan);
      if (code == TOK_EOF) break;
      const SrcPos& p = run_->scanner.token_pos;
      seen += std::to_string(code) + "@" + std::to_string(p.line) + ":" + std::to_string(p.col) + " ";
    }
    reader_close_source();
    return seen;
  }

 private:
  std::string text_;
};

TEST_P(PositionLimit, ColumnStopsAtTheLimit) {
  // From column 2^31-11: a tab to 2^31-7, a tab past the limit, then a name, a tab and three
  // commas there, and a line feed back to column 1.
  std::string seen = tokens_from("\t\tname\t,,,\nx ", SrcPos{5, INT_MAX - 10});
  std::string at_limit = "@5:" + std::to_string(INT_MAX) + " ";
  EXPECT_EQ(seen, std::to_string(TOK_IDENT) + at_limit + "44" + at_limit + "44" + at_limit + "44" + at_limit + std::to_string(TOK_IDENT) + "@6:1 ");
}

TEST_P(PositionLimit, LineStopsAtTheLimit) {
  std::string seen = tokens_from("a\n\n\nb,", SrcPos{INT_MAX - 1, 1});
  std::string last = std::string("@") + std::to_string(INT_MAX) + ":";
  std::string first = std::string("@") + std::to_string(INT_MAX - 1) + ":1 ";
  std::string ident = std::to_string(TOK_IDENT);
  EXPECT_EQ(seen, ident + first + ident + last + "1 44" + last + "2 ");
}

TEST_P(PositionLimit, BlanksAndNamesStopAtTheLimit) {
  // Runs of blanks that the block scanner takes eight at a time, and a long name.
  std::string seen = tokens_from(std::string(20, ' ') + std::string(30, 'n') + "  ,", SrcPos{1, INT_MAX - 40});
  std::string at_limit = "@1:" + std::to_string(INT_MAX) + " ";
  EXPECT_EQ(seen, std::to_string(TOK_IDENT) + "@1:" + std::to_string(INT_MAX - 20) + " 44" + at_limit);
}

INSTANTIATE_TEST_SUITE_P(EveryScanner, PositionLimit, testing::Values(Cutter::Plain, Cutter::Block, Cutter::Thread),
                         [](const testing::TestParamInfo<Cutter>& info) {
                           return info.param == Cutter::Plain ? "Plain" : info.param == Cutter::Block ? "Block" : "Thread";
                         });

}  // namespace
