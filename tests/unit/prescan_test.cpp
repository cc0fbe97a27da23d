// The block scanner on its own thread against the plain scanner: every token's code, text
// and position must be the same, whether the thread cuts whole jobs or stops in the middle
// of one (the pass then goes on alone from the last entry it took), and the reader must
// end where the plain scanner leaves it.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <string>

#include "fast/prescan.h"
#include "tests/support/run_fixture.h"

namespace {

// Strings over line feeds and tabs, character constants (one of them a tab, which moves
// the column to the next stop), numbers of both kinds, names longer than sixteen
// characters, keywords, comments, punctuation, and a carriage return that the block
// scanner leaves to the plain scanner.
const char* const KINDS =
    "start: LDA #'a' ; a comment\n"
    "\tSTA $D01A,X\n"
    "\t.DB \"two\nlines\tand a tab\",$9B, 'q'\n"
    "\t.DB '\t, 1\n"
    "a_name_longer_than_sixteen_chars: JMP (a_name_longer_than_sixteen_chars)\n"
    "\tLDX #<tbl_12+1 ;\n"
    "x\t, y\r\n"
    "  .DW 65535, $ffff, 012\n";

class Prescanner : public RunFixture {
 protected:
  // Every token of `text` (code, text where it sets one, position) and the reader's final
  // position, through `next`.
  template <typename Next>
  std::string tokens(const std::string& text, Next next) {
    text_ = text;
    run_->reader.stdin_given = &text_;
    reader_open_source(nullptr);
    std::string seen;
    count_ = 0;
    for (;;) {
      int code = next();
      count_++;
      const SrcPos& p = run_->scanner.token_pos;
      seen.append(std::to_string(code)).append("@").append(std::to_string(p.line)).append(":").append(std::to_string(p.col));
      if (code == TOK_EOF) break;
      if (code >= 256) seen.append("=").append(run_->scanner.text);
      seen += " ";
    }
    const SrcPos& end = run_->reader.current->pos;
    seen.append(" end ").append(std::to_string(end.line)).append(":").append(std::to_string(end.col));
    reader_close_source();
    restart();
    return seen;
  }

  int count_ = 0;  // tokens of the last text

 private:
  std::string text_;
};

TEST_F(Prescanner, SameTokensAsThePlainScanner) {
  std::string text = std::string(KINDS) + KINDS;
  std::string plain = tokens(text, [] { return next_token(); });
  // The thread cuts every job whole; then it stops for good after 0, 1, 2, ... entries, so
  // that the pass goes on alone (to the end) after each token in turn.
  for (uint64_t cut = 0; cut <= 160; cut++) {
    Prescan prescan;
    prescan.min_job = 1;
    prescan.patience = cut == 0 ? UINT_MAX : 1u << 16;  // the thread takes every job it is awake for
    prescan.stall = cut == 0 ? UINT_MAX : 1u << 16;
    prescan.inline_run = cut == 0 ? 0 : UINT32_MAX;
    prescan.cut_limit = cut == 0 ? UINT64_MAX : cut - 1;
    // The names' numbers that come with the identifiers the thread cut: one per spelling.
    std::map<std::string, uint32_t> number_of;
    std::set<uint32_t> numbers;
    auto next = [&] {
      int code = prescan_next_token(prescan);
      if (code == TOK_IDENT && prescan.last_name != NO_NAME) {
        numbers.insert(prescan.last_name);
        EXPECT_EQ(number_of.try_emplace(run_->scanner.text, prescan.last_name).first->second, prescan.last_name);
      }
      return code;
    };
    EXPECT_EQ(tokens(text, next), plain) << "the thread stops after " << cut - 1;
    EXPECT_EQ(numbers.size(), number_of.size()) << "two names with one number";
    // Waited for without end, the thread cuts the tokens (all but those left to the plain
    // scanner), not the pass.
    if (cut == 0) {
      EXPECT_GT(prescan.taken * 2, static_cast<uint64_t>(count_)) << "the pass cut the tokens itself";
      EXPECT_EQ(number_of.size(), 5u) << "start, the long name, tbl_12, x, y";
    }
  }
}

// The thread's numbering on its own, up to its limit (its table grows several times): names
// that differ in one byte, in their length, or only past their eighth byte get different
// numbers; each new name the next number, but for the rare name whose 32-bit hash an earlier
// one has (it shares that one's number); every later meeting of a name the number it got
// first; and once the numbers run out, a new name none.
TEST(NameNumbers, OneNumberPerSpelling) {
  NameNumbers x;
  auto number = [&x](const std::string& s) {
    return name_number(x, reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  std::vector<std::string> names = {"a", "b", "ab", "abcdefgh", "abcdefghi", "abcdefgi", "abcdefgh_1", "abcdefgh_2"};
  std::vector<uint32_t> got;
  for (size_t i = 0; i < names.size(); i++) {
    got.push_back(number(names[i]));
    EXPECT_EQ(got[i], i) << names[i];
  }
  uint32_t next = static_cast<uint32_t>(names.size());
  unsigned shared = 0;
  for (int i = 0;; i++) {
    std::string name = "label_" + std::to_string(i);
    uint32_t n = number(name);
    if (n == NO_NAME) break;
    if (n == next) {
      next++;
    } else {
      ASSERT_LT(n, next) << name;
      shared++;
    }
    names.push_back(name);
    got.push_back(n);
  }
  EXPECT_EQ(next, NameNumbers::LIMIT);
  EXPECT_LT(shared, 8u);  // about two pairs among 131,072 names
  for (size_t i = names.size(); i-- > 0;) EXPECT_EQ(number(names[i]), got[i]) << names[i];
}

}  // namespace
