// examples/: every program assembles without a message into a load file that an Atari
// 8-bit DOS can load and run, with the segments that another assembler gives for the same
// source (tests/docs/expect/<name>.segments).

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "doc_util.h"
#include "tests/support/run_helper.h"

using namespace doctest_util;
namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = XEXASM_SOURCE_DIR;
const fs::path kExamples = kSourceDir / "examples";
const fs::path kExpect = kSourceDir / "tests" / "docs" / "expect";

std::vector<std::string> files_with(const fs::path& folder, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == extension) names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The expected segments: "$XXXX" starts a segment, hexadecimal bytes follow; '#' comments.
std::map<unsigned, std::vector<std::uint8_t>> expected_segments(const std::string& name) {
  std::map<unsigned, std::vector<std::uint8_t>> segments;
  std::vector<std::uint8_t>* current = nullptr;
  for (const auto& raw : split_lines(xtest::read_file(kExpect / (name + ".segments")))) {
    std::string line = raw.substr(0, raw.find('#'));
    std::istringstream in(line);
    std::string tok;
    while (in >> tok) {
      if (tok[0] == '$') {
        current = &segments[static_cast<unsigned>(std::stoul(tok.substr(1), nullptr, 16))];
      } else {
        if (!current) throw std::runtime_error("bytes before the first address in " + name + ".segments");
        auto b = parse_hex_list(tok);
        current->insert(current->end(), b.begin(), b.end());
      }
    }
  }
  return segments;
}

// Assembles examples/<name>.asm the way examples/Makefile does: in a copy of the folder,
// with the names of share/xexasm/atari.names and the library folder lib/.
xtest::Outcome assemble(const std::string& name) {
  const xtest::ScratchDir dir;
  fs::copy(kExamples, dir.path(), fs::copy_options::recursive);
  const fs::path names = kSourceDir / "share" / "xexasm" / "atari.names";
  return xtest::run_in(dir.path(), {"--names=" + names.string(), "-I", "lib", name + ".asm"});
}

bool inside(const Segment& s, unsigned lo, unsigned hi) { return s.start >= lo && s.end <= hi; }

class ExampleProgram : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleProgram, AssemblesWithoutMessages) {
  xtest::Outcome a = assemble(GetParam());
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_TRUE(error_lines(a.err).empty()) << a.err;
}

TEST_P(ExampleProgram, LoadFileRunsOnTheMachine) {
  xtest::Outcome a = assemble(GetParam());
  std::string why;
  auto segments = parse_xex(a.xex, why);
  ASSERT_TRUE(segments) << why;
  ASSERT_FALSE(segments->empty());

  // Where a program may load without harming the system: the zero page left to programs
  // ($80-$FF), the run address, page 6 ($0600-$06FF), and free memory above DOS and below
  // the screen ($2000-$7FFF).
  const Segment* run = nullptr;
  for (const auto& s : *segments) {
    if (s.start == 0x02E0) run = &s;
    EXPECT_TRUE(inside(s, 0x80, 0xFF) || inside(s, 0x02E0, 0x02E1) || inside(s, 0x0600, 0x06FF) ||
                inside(s, 0x2000, 0x7FFF))
        << std::hex << "segment $" << s.start << "-$" << s.end << " loads over memory that the system uses";
  }
  for (std::size_t i = 0; i < segments->size(); ++i)
    for (std::size_t j = i + 1; j < segments->size(); ++j) {
      const Segment& x = (*segments)[i];
      const Segment& y = (*segments)[j];
      EXPECT_TRUE(x.end < y.start || y.end < x.start) << std::hex << "segments $" << x.start << " and $" << y.start << " overlap";
    }

  // RUNAD holds the address of the label start, inside the loaded code.
  ASSERT_NE(run, nullptr) << "no segment sets the run address at $02E0";
  ASSERT_EQ(run->data.size(), 2u);
  unsigned address = run->data[0] | (run->data[1] << 8);
  auto start = listed_value(a.out, "start");
  ASSERT_TRUE(start) << "no label start in the symbol listing";
  EXPECT_EQ(address, *start);
  bool loaded = std::any_of(segments->begin(), segments->end(), [&](const Segment& s) {
    return s.start >= 0x2000 && address >= s.start && address <= s.end;
  });
  EXPECT_TRUE(loaded) << "the run address $" << std::hex << address << " is not in a loaded code segment";
}

TEST_P(ExampleProgram, SegmentsMatchAnotherAssembler) {
  xtest::Outcome a = assemble(GetParam());
  std::string why;
  auto segments = parse_xex(a.xex, why);
  ASSERT_TRUE(segments) << why;
  std::map<unsigned, std::vector<std::uint8_t>> got;
  for (const auto& s : *segments) {
    EXPECT_EQ(got.count(s.start), 0u) << "two segments start at $" << std::hex << s.start;
    got[s.start] = s.data;
  }
  auto expected = expected_segments(GetParam());
  std::set<unsigned> starts;
  for (const auto& [k, v] : got) starts.insert(k);
  for (const auto& [k, v] : expected) starts.insert(k);
  for (unsigned k : starts) {
    SCOPED_TRACE("segment at $" + [k] { std::ostringstream s; s << std::hex << k; return s.str(); }());
    ASSERT_TRUE(got.count(k)) << "missing";
    ASSERT_TRUE(expected.count(k)) << "not expected";
    EXPECT_EQ(hex_string(got[k]), hex_string(expected[k]));
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleProgram, ::testing::ValuesIn(files_with(kExamples, ".asm")),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

TEST(Examples, AtLeastSevenProgramsEachWithExpectedSegments) {
  auto programs = files_with(kExamples, ".asm");
  EXPECT_GE(programs.size(), 7u);
  EXPECT_EQ(programs, files_with(kExpect, ".segments"));
}

TEST(Examples, EveryIncludeFileIsIncluded) {
  // An included part is entered by some program: its name is printed on standard output.
  std::string all_out;
  for (const auto& p : files_with(kExamples, ".asm")) all_out += assemble(p).out;
  auto parts = files_with(kExamples, ".inc");
  for (const auto& part : files_with(kExamples / "lib", ".inc")) parts.push_back(part);
  EXPECT_FALSE(parts.empty()) << "one example should be split into files with INCLUDE";
  for (const auto& part : parts)
    EXPECT_NE(all_out.find("\n" + part + ".inc\n"), std::string::npos) << part << ".inc is included by no example";
}

}  // namespace
