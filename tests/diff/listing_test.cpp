// The listing, the label file and the messages that name their file, on whole programs
// under every fast setting: the same files from every setting, and a listing and a label
// file that agree with the load file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bench/programs.h"
#include "tests/support/run_helper.h"

namespace {

using namespace xtest;

struct Files {
  Outcome outcome;
  std::string listing, labels;
};

// With `gnu`, pass 2's replay carries positions; without, the listing takes them from pass 1.
Files assemble_with_files(const fs::path& dir, unsigned fast, bool gnu, const std::string& name = "prog") {
  RunOptions o;
  o.fast = fast;
  o.section_limit = 1 << 16;
  Files f;
  for (const char* file : {".lst", ".lab"}) fs::remove(dir / (name + file));
  std::vector<std::string> args = {"--listing=" + name + ".lst", "--labels=" + name + ".lab", name + ".asm"};
  if (gnu) args.insert(args.begin(), "--messages=gnu");
  f.outcome = run_in(dir, args, o);
  f.listing = fs::exists(dir / (name + ".lst")) ? read_file(dir / (name + ".lst")) : "(none)";
  f.labels = fs::exists(dir / (name + ".lab")) ? read_file(dir / (name + ".lab")) : "(none)";
  return f;
}

// Every setting gives the plain core's files; a replay setting replays.
Files same_under_every_setting(const ScratchDir& dir, bool gnu) {
  Files plain = assemble_with_files(dir.path(), FAST_NONE, gnu);
  for (const FastSetting& s : FAST_SETTINGS) {
    if (s.mechanisms == FAST_NONE) continue;
    Files f = assemble_with_files(dir.path(), s.mechanisms, gnu);
    EXPECT_EQ(difference(plain.outcome, f.outcome), "") << s.name;
    EXPECT_TRUE(f.listing == plain.listing) << s.name << ": another listing";
    EXPECT_TRUE(f.labels == plain.labels) << s.name << ": another label file";
    EXPECT_EQ(f.outcome.replayed, (s.mechanisms & FAST_REPLAY) != 0) << s.name;
  }
  return plain;
}

// The load file's segments, by the names of their sections: the segments come in the order
// of the section dump on standard output.
std::map<std::string, std::map<unsigned, uint8_t>> sections_of(const std::string& xex, const std::string& out) {
  std::vector<std::string> names;
  std::istringstream dump(out);
  const std::string banner = "------------- Section Dump ";
  for (std::string line; std::getline(dump, line);)
    if (line.rfind(banner, 0) == 0) names.push_back(line.substr(banner.size(), line.find(' ', banner.size()) - banner.size()));
  std::map<std::string, std::map<unsigned, uint8_t>> sections;
  size_t at = 2;
  for (const std::string& name : names) {
    if (at + 4 > xex.size()) break;
    auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(xex[i])); };
    unsigned start = byte(at) | byte(at + 1) << 8, end = byte(at + 2) | byte(at + 3) << 8;
    at += 4;
    for (unsigned a = start; a <= end && at < xex.size(); a++) sections[name][a] = static_cast<uint8_t>(xex[at++]);
  }
  return sections;
}

TEST(Listing, AgreesWithTheLoadFileUnderEverySetting) {
  ScratchDir dir;
  GeneratedProgram program = generate_program(20000);
  dir.write("prog.asm", program.text);
  Files f = same_under_every_setting(dir, false);
  EXPECT_TRUE(same_under_every_setting(dir, true).listing == f.listing);
  ASSERT_EQ(f.outcome.status, 0) << f.outcome.err;
  auto sections = sections_of(f.outcome.xex, f.outcome.out);
  std::map<unsigned, uint8_t>* memory = nullptr;  // the section of the lines
  std::map<std::string, std::string> label_value;  // from the label file
  std::istringstream labels(f.labels);
  for (std::string value, name; labels >> value >> name;) label_value[name] = value.substr(1);

  std::istringstream listing(f.listing);
  size_t lines = 0, bytes_checked = 0, labels_checked = 0;
  for (std::string line; std::getline(listing, line);) {
    if (line == "Sections:") break;
    if (line.size() < 15 || line[11] == ' ') continue;  // no address
    unsigned address = std::stoul(line.substr(11, 4), nullptr, 16);
    if (line.size() > 17 && line[17] == '[') memory = &sections[line.substr(18, line.find(']') - 18)];
    ASSERT_NE(memory, nullptr) << line;
    if (line[0] != ' ' || line[5] != ' ') lines++;
    // Every byte shown is the load file's byte at its address.
    for (size_t i = 0; i < 4 && 17 + 3 * i + 2 <= line.size() && line[17 + 3 * i] != ' ' && line[17] != '['; i++) {
      unsigned b = std::stoul(line.substr(17 + 3 * i, 2), nullptr, 16);
      ASSERT_TRUE(memory->count(address + i)) << line;
      ASSERT_EQ((*memory)[address + i], b) << line;
      bytes_checked++;
    }
    // A label at the start of a line's text stands where the line begins.
    if (line.size() > 30 && line[30] != ' ') {
      size_t colon = line.find(':', 30);
      std::string name = line.substr(30, colon == std::string::npos ? 0 : colon - 30);
      if (!name.empty() && name.find(' ') == std::string::npos) {
        ASSERT_TRUE(label_value.count(name)) << name;
        EXPECT_EQ(label_value[name], [&] {
          std::string upper = line.substr(11, 4);
          for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
          return upper;
        }()) << line;
        labels_checked++;
      }
    }
  }
  EXPECT_GT(lines, program.lines / 2);
  EXPECT_GT(bytes_checked, f.outcome.xex.size() / 2);
  EXPECT_EQ(labels_checked, label_value.size());  // every label stands on a line of its own
}

// Names that no label defines, one every 97 lines, also in an included file: the replay
// carries the position of each (their messages come only from pass 2), and each message
// points at its line, and at the column of the name.
TEST(Messages, NameTheirFileLineAndColumnUnderEverySetting) {
  ScratchDir dir;
  std::istringstream in(generate_program(8000).text);
  std::string prog, inc = "        NOP\n        LDA nowhere_inc\n";
  std::vector<std::string> lines;
  bool in_section = false;
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
    in_section = in_section || line.find(".SECTION") != std::string::npos;
    if (in_section && lines.size() % 97 == 0) lines.push_back("        LDA nowhere" + std::to_string(n++));
    if (lines.size() == 4001) lines.push_back("        INCLUDE \"part.inc\"");
  }
  for (const std::string& l : lines) prog += l + "\n";
  dir.write("prog.asm", prog);
  dir.write("part.inc", inc);
  EXPECT_EQ(same_under_every_setting(dir, false).outcome.status, 1);
  Files f = same_under_every_setting(dir, true);
  std::istringstream err(f.outcome.err);
  int seen = 0;
  for (std::string message; std::getline(err, message);) {
    if (message.find(": error: ") == std::string::npos) continue;  // a section's trace line
    int line = 0, col = 0;
    char file[32] = {}, name[32] = {};
    ASSERT_EQ(std::sscanf(message.c_str(), "%31[^:]:%d:%d: error: Symbol %31s Not Defined", file, &line, &col, name), 4)
        << message;
    const std::string& text = std::string(file) == "part.inc" ? "        LDA nowhere_inc" : lines.at(static_cast<size_t>(line - 1));
    EXPECT_EQ(text.substr(static_cast<size_t>(col - 1)), name) << message;
    seen++;
  }
  EXPECT_EQ(seen, n + 1);
  EXPECT_NE(f.listing.find("*** part.inc:2:13: error: Symbol nowhere_inc Not Defined"), std::string::npos);
}

// Every entry of the fuzz corpus as a source file, under every setting: the same messages,
// listing and label file as the plain core's (also where pass 2 stops, or never comes).
TEST(Listing, EveryCorpusEntryUnderEverySetting) {
  const std::vector<fs::path> entries = corpus_entries(XEXASM_CORPUS_DIR);
  const ScratchDir dir;
  write_corpus_includes(dir.path());
  size_t run = 0, failed = 0;
  for (const fs::path& entry : entries) {
    const std::string input(corpus_source(read_file(entry)));
    if (input.find("INCLUDE") != std::string::npos && input.find('/') != std::string::npos) continue;
    write_file(dir.path() / "fz.asm", input);
    bool gnu = run++ % 2 == 0;  // half of them without positions in pass 2's replay
    Files plain = assemble_with_files(dir.path(), FAST_NONE, gnu, "fz");
    for (const FastSetting& s : FAST_SETTINGS) {
      if (s.mechanisms == FAST_NONE) continue;
      Files f = assemble_with_files(dir.path(), s.mechanisms, gnu, "fz");
      std::string d = difference(plain.outcome, f.outcome);
      if (f.listing != plain.listing) d += "another listing\n";
      if (f.labels != plain.labels) d += "another label file\n";
      if (d.empty()) continue;
      ADD_FAILURE() << entry.filename().string() << ": XEXASM_FAST=" << s.name << ":\n" << d;
      if (++failed == 20) FAIL() << "stopped after 20 differences";
    }
  }
  EXPECT_GT(run, entries.size() * 9 / 10);
}

// The edges of a listing: a line that, with its columns and line feed, needs one byte less
// than the output's buffer, exactly the buffer, and one byte more (a line is written into
// the buffer only where it fits); and a section without bytes, whose last address is "----".
TEST(Listing, LinesAroundTheBufferSizeAndAnEmptySection) {
  constexpr size_t kBuffer = OutStream::CAPACITY, kTextColumn = 30;
  const ScratchDir dir;
  for (size_t text = kBuffer - kTextColumn - 2; text <= kBuffer - kTextColumn; text++) {
    std::string comment(text, 'x');
    comment[0] = ';';
    std::string source = ".SECTION \"c\",$2000\n";
    source.append(comment).append("\n NOP\n.SECTION \"e\",$3000\n");
    dir.write("prog.asm", source);
    std::string expected = "     1     2000  [c]          .SECTION \"c\",$2000\n     2     2000               ";
    expected.append(comment).append("\n     3     2000  ea            NOP\n"
                                    "     4     3000  [e]          .SECTION \"e\",$3000\n"
                                    "\nSections:\n  2000 2000        1  c\n  3000 ----        0  e\n\nLabels:\n");
    Files f = assemble_with_files(dir.path(), FAST_ALL, false);
    EXPECT_EQ(f.outcome.status, 0) << text;
    EXPECT_TRUE(f.listing == expected) << text;
  }
}

}  // namespace
