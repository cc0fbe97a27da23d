// docs/language.md against the program: every `asm` example is assembled and its annotated
// bytes, listing lines and messages are checked; the opcode table is assembled cell by
// cell; every message that the program's sources can print is described.
//
// Conventions of the document (its introduction states them for readers):
//   ```asm                 an example, assembled alone as example.asm in a fresh folder
//   ```asm file=NAME       a file that later examples INCLUDE (not assembled alone)
//   ```asm args=ARG ...    an example assembled with these arguments before example.asm
//                          (one argument a word)
//   ```text file=NAME      a file that later examples name in their arguments (a names
//                          file, say)
//   ```text stdout|stderr  the exact standard output or error of the example before it
//   ```text xex            the bytes of that example's load file, in hexadecimal
//   ```text, ```sh         illustrations, not checked
// and inside an example:
//   ; => hh hh ...         bytes placed by this line; all of them together are the bytes of
//                          the one segment that no "bytes" annotation claims
//   ; bytes $XXXX: hh ...  the bytes of the segment that starts at $XXXX
//   ; symbol: NAME $XXXX   a line of the symbol listing
//   ; error: LINE          a line of standard error; the example's error lines are exactly
//                          the annotated ones (each pass may repeat them) and it exits 1

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "doc_util.h"
#include "tests/support/run_helper.h"

using namespace doctest_util;
namespace fs = std::filesystem;
using xtest::read_file;
using xtest::write_file;

namespace {

const fs::path kSourceDir = XEXASM_SOURCE_DIR;
const fs::path kDocument = kSourceDir / "docs" / "language.md";

struct Block {
  int line = 0;          // line of the opening fence, from 1
  std::string lang;      // asm, text, sh
  std::string info;      // the rest of the info string
  std::string file;      // for asm file=NAME and text file=NAME
  std::vector<std::string> args;  // for asm args=ARG
  std::vector<std::string> lines;
  std::string text() const {
    std::string t;
    for (const auto& l : lines) t += l + "\n";
    return t;
  }
};

std::vector<Block> read_blocks(std::string& problem) {
  std::vector<Block> blocks;
  const auto lines = split_lines(read_file(kDocument));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    std::size_t indent = l.find_first_not_of(' ');
    if (indent == std::string::npos || l.compare(indent, 3, "```") != 0) continue;
    Block b;
    b.line = static_cast<int>(i + 1);
    std::istringstream info(l.substr(indent + 3));
    info >> b.lang;
    std::string word;
    while (info >> word) {
      if ((b.lang == "asm" || b.lang == "text") && word.rfind("file=", 0) == 0)
        b.file = word.substr(5);
      else if (b.lang == "asm" && word.rfind("args=", 0) == 0)
        b.args.push_back(word.substr(5));
      else
        b.info += (b.info.empty() ? "" : " ") + word;
    }
    std::size_t j = i + 1;
    for (; j < lines.size(); ++j) {
      const std::string& c = lines[j];
      std::size_t ci = c.find_first_not_of(' ');
      if (ci != std::string::npos && c.compare(ci, 3, "```") == 0 && c.find_first_not_of(' ', ci + 3) == std::string::npos)
        break;
      b.lines.push_back(c.size() >= indent && c.find_first_not_of(' ') >= indent ? c.substr(std::min(indent, c.size()))
                                                                                 : c);
    }
    if (j == lines.size()) problem = "the fence at line " + std::to_string(b.line) + " is never closed";
    i = j;
    blocks.push_back(std::move(b));
  }
  return blocks;
}

const std::vector<Block>& blocks() {
  static std::string problem;
  static const std::vector<Block> all = read_blocks(problem);
  if (!problem.empty()) ADD_FAILURE() << problem;
  return all;
}

std::vector<int> example_lines() {
  std::vector<int> result;
  for (const auto& b : blocks())
    if (b.lang == "asm" && b.file.empty()) result.push_back(b.line);
  return result;
}

struct Annotations {
  std::vector<std::uint8_t> line_bytes;                      // all "; =>" lists in order
  bool has_line_bytes = false;
  std::map<unsigned, std::vector<std::uint8_t>> segments;    // "; bytes $XXXX:"
  std::set<std::string> errors;                              // "; error:"
  std::vector<std::string> symbols;                          // "; symbol:" as listing lines
};

// Bytes written as two hex digits separated by single blanks, from position `at`; the list
// ends at two blanks or at anything else.
std::vector<std::uint8_t> byte_run(const std::string& s, std::size_t at) {
  std::vector<std::uint8_t> bytes;
  while (at + 2 <= s.size() && isxdigit(static_cast<unsigned char>(s[at])) &&
         isxdigit(static_cast<unsigned char>(s[at + 1])) && (at + 2 == s.size() || s[at + 2] == ' ')) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(s.substr(at, 2), nullptr, 16)));
    at += 2;
    if (at < s.size() && s[at] == ' ' && at + 1 < s.size() && s[at + 1] != ' ')
      ++at;
    else
      break;
  }
  return bytes;
}

bool is_hex(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)); });
}

Annotations read_annotations(const Block& b) {
  Annotations a;
  for (const auto& line : b.lines) {
    std::size_t at;
    if ((at = line.find("; => ")) != std::string::npos) {
      auto bytes = byte_run(line, at + 5);
      EXPECT_FALSE(bytes.empty()) << "no bytes after => in: " << line;
      a.line_bytes.insert(a.line_bytes.end(), bytes.begin(), bytes.end());
      a.has_line_bytes = true;
    }
    if ((at = line.find("; bytes $")) != std::string::npos) {
      std::string address = line.substr(at + 9, 4);
      EXPECT_TRUE(is_hex(address) && line.compare(at + 13, 2, ": ") == 0) << "malformed: " << line;
      a.segments[static_cast<unsigned>(std::stoul(address, nullptr, 16))] = byte_run(line, at + 15);
    }
    if ((at = line.find("; error: ")) != std::string::npos) {
      std::string e = line.substr(at + 9);
      e.erase(e.find_last_not_of(' ') + 1);
      a.errors.insert(e);
    }
    if ((at = line.find("; symbol: ")) != std::string::npos) {
      std::istringstream in(line.substr(at + 10));
      std::string name, value;
      in >> name >> value;
      EXPECT_TRUE(value.size() == 5 && value[0] == '$' && is_hex(value.substr(1))) << "malformed: " << line;
      a.symbols.push_back(name + "\t" + value);
    }
  }
  return a;
}

class Example : public ::testing::TestWithParam<int> {};

TEST_P(Example, AssemblesAsAnnotated) {
  const auto& all = blocks();
  auto it = std::find_if(all.begin(), all.end(), [](const Block& b) { return b.line == GetParam(); });
  ASSERT_NE(it, all.end()) << "no example starts at this line any more: rebuild, so that the tests are listed anew";
  const Block& ex = *it;
  SCOPED_TRACE("example at docs/language.md line " + std::to_string(ex.line));

  const xtest::ScratchDir dir;
  for (auto f = all.begin(); f != it; ++f)
    if (!f->file.empty()) write_file(dir.path() / f->file, f->text());
  write_file(dir.path() / "example.asm", ex.text());
  std::vector<std::string> args = ex.args;
  args.push_back("example.asm");
  xtest::Outcome r = xtest::run_in(dir.path(), args);
  Annotations a = read_annotations(ex);

  std::vector<std::string> printed = error_lines(r.err);
  std::set<std::string> printed_set(printed.begin(), printed.end());
  EXPECT_EQ(printed_set, a.errors) << "standard error:\n" << r.err;
  EXPECT_EQ(r.status, a.errors.empty() ? 0 : 1) << "standard error:\n" << r.err;

  for (const auto& s : a.symbols)
    EXPECT_NE(r.out.find("\n" + s + "\n"), std::string::npos) << "no listing line " << s << " in:\n" << r.out;

  if (a.has_line_bytes || !a.segments.empty()) {
    std::string why;
    auto segments = parse_xex(r.xex, why);
    ASSERT_TRUE(segments) << why;
    std::vector<const Segment*> unclaimed;
    for (const auto& s : *segments)
      if (!a.segments.count(s.start)) unclaimed.push_back(&s);
    for (const auto& [start, bytes] : a.segments) {
      auto seg = std::find_if(segments->begin(), segments->end(), [&](const Segment& s) { return s.start == start; });
      ASSERT_NE(seg, segments->end()) << "no segment starts at $" << std::hex << start;
      EXPECT_EQ(hex_string(seg->data), hex_string(bytes)) << "segment at $" << std::hex << start;
    }
    if (a.has_line_bytes) {
      ASSERT_EQ(unclaimed.size(), 1u) << "the => bytes must belong to exactly one segment";
      EXPECT_EQ(hex_string(unclaimed[0]->data), hex_string(a.line_bytes));
    }
  }

  // Output blocks that follow this example, up to the next example.
  for (auto f = it + 1; f != all.end() && !(f->lang == "asm" && f->file.empty()); ++f) {
    if (f->lang != "text" || !f->file.empty()) continue;
    if (f->info == "stdout") {
      EXPECT_EQ(r.out, f->text()) << "standard output differs from the block at line " << f->line;
    } else if (f->info == "stderr") {
      EXPECT_EQ(r.err, f->text()) << "standard error differs from the block at line " << f->line;
    } else if (f->info == "xex") {
      EXPECT_EQ(hex_string(std::vector<std::uint8_t>(r.xex.begin(), r.xex.end())), hex_string(parse_hex_list(f->text())))
          << "load file differs from the block at line " << f->line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(LanguageMd, Example, ::testing::ValuesIn(example_lines()),
                         [](const ::testing::TestParamInfo<int>& p) { return "line_" + std::to_string(p.param); });

TEST(LanguageMd, FencesAreClassified) {
  for (const auto& b : blocks()) {
    SCOPED_TRACE("fence at line " + std::to_string(b.line));
    EXPECT_TRUE(b.lang == "asm" || b.lang == "text" || b.lang == "sh")
        << "give the block a kind (asm, text or sh), so that no example escapes the tests";
    if (b.lang == "asm") {
      EXPECT_TRUE(b.info.empty()) << "unknown words after asm: " << b.info;
    } else if (b.lang == "text") {
      EXPECT_TRUE(b.info.empty() || b.info == "stdout" || b.info == "stderr" || b.info == "xex") << b.info;
    }
  }
  EXPECT_GE(example_lines().size(), 25u);
}

TEST(LanguageMd, OutputBlocksFollowAnExample) {
  bool after_example = false;
  for (const auto& b : blocks()) {
    if (b.lang == "asm" && b.file.empty()) after_example = true;
    if (b.lang == "text" && !b.info.empty()) {
      EXPECT_TRUE(after_example) << "the output block at line " << b.line << " has no example before it";
    }
  }
}

TEST(LanguageMd, IncludedFilesAreIncluded) {
  // Every file block is entered by an example after it: its name appears on standard output.
  const auto& all = blocks();
  for (auto f = all.begin(); f != all.end(); ++f) {
    if (f->file.empty()) continue;
    bool used = false;
    for (auto e = f + 1; e != all.end() && !used; ++e) {
      if (e->lang != "asm" || !e->file.empty()) continue;
      used = e->text().find("INCLUDE \"" + f->file + "\"") != std::string::npos;
      for (const auto& arg : e->args) used = used || arg.find(f->file) != std::string::npos;
    }
    EXPECT_TRUE(used) << f->file << " (line " << f->line << ") is included by no later example";
  }
}

// --- The opcode table ---------------------------------------------------------------

struct Row {
  std::string mnemonic;
  std::vector<std::string> cells;  // none, A, #expr, expr, expr,X, expr,Y, (expr,X), (expr),Y, (expr)
};

std::vector<Row> opcode_table() {
  std::vector<Row> rows;
  bool in_section = false;
  for (const auto& line : split_lines(read_file(kDocument))) {
    if (line == "### Opcodes") in_section = true;
    else if (in_section && line.rfind("#", 0) == 0) break;
    if (!in_section || line.rfind("| ", 0) != 0) continue;
    std::vector<std::string> cells;
    std::size_t at = 1;
    while (at < line.size()) {
      std::size_t bar = line.find('|', at);
      if (bar == std::string::npos) break;
      std::string c = line.substr(at, bar - at);
      c.erase(0, c.find_first_not_of(' '));
      c.erase(c.find_last_not_of(' ') + 1);
      cells.push_back(c);
      at = bar + 1;
    }
    if (cells.size() != 10 || cells[0] == "mnemonic") continue;
    rows.push_back({cells[0], std::vector<std::string>(cells.begin() + 1, cells.end())});
  }
  return rows;
}

const char* const kOperand[] = {"", " A", " #$12", " $12", " $12,X", " $12,Y", " ($12,X)", " ($12),Y", " ($1234)"};

// The same operand with $1234 in place of $12.
std::string with_large_operand(std::string operand) {
  std::size_t at = operand.find("$12");
  return operand.replace(at, 3, "$1234");
}

std::vector<std::uint8_t> assemble_code(const std::string& body, int& status, std::string& err) {
  xtest::Outcome r = xtest::run_source(".SECTION \"code\",$2000\n" + body);
  status = r.status;
  err = r.err;
  std::string why;
  auto segs = parse_xex(r.xex, why);
  if (!segs || segs->size() != 1) return {};
  return (*segs)[0].data;
}

TEST(LanguageMd, OpcodeTableIsWhatTheProgramAssembles) {
  auto rows = opcode_table();
  ASSERT_EQ(rows.size(), 56u) << "the table should list the 56 mnemonics";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.mnemonic);
    std::string body;
    std::vector<std::uint8_t> expected;
    for (std::size_t c = 0; c < 9; ++c) {
      const std::string& cell = row.cells[c];
      if (cell.empty()) {
        // A form that does not exist: a syntax error (the NOP shows where the form ends).
        int status;
        std::string err;
        assemble_code(row.mnemonic + kOperand[c] + "\nNOP\n", status, err);
        EXPECT_EQ(status, 1) << row.mnemonic << kOperand[c] << " should not exist";
        EXPECT_TRUE(err.find("Unexpected ") != std::string::npos || err.find("Missing ") != std::string::npos) << err;
        continue;
      }
      auto op = [](const std::string& s) { return static_cast<std::uint8_t>(std::stoul(s, nullptr, 16)); };
      // "XX / YY", "XX", or "XX (abs)", "XX (zp)", "XX (rel)"
      const bool pair = cell.size() == 7 && cell.compare(2, 3, " / ") == 0 && is_hex(cell.substr(0, 2)) &&
                        is_hex(cell.substr(5, 2));
      const bool single = (cell.size() == 2 || (cell.size() > 5 && cell[2] == ' ')) && is_hex(cell.substr(0, 2));
      if (pair) {
        // zero-page opcode with a small operand, absolute opcode with a large one
        std::string base = kOperand[c];
        std::string big = with_large_operand(base);
        body += row.mnemonic + base + "\n" + row.mnemonic + big + "\n";
        expected.insert(expected.end(), {op(cell.substr(0, 2)), 0x12, op(cell.substr(5, 2)), 0x34, 0x12});
      } else if (single) {
        std::string kind = cell.size() == 2 ? "" : cell.substr(3);
        std::uint8_t code = op(cell.substr(0, 2));
        if (kind == "(rel)") {
          // at $2000 + offset, a branch to $2040: distance $2040 - (address + 2)
          std::size_t here = expected.size();
          body += row.mnemonic + " $2040\n";
          expected.insert(expected.end(), {code, static_cast<std::uint8_t>(0x40 - here - 2)});
        } else if (kind == "(abs)") {
          if (c == 8) {
            body += row.mnemonic + " ($1234)\n";
            expected.insert(expected.end(), {code, 0x34, 0x12});
          } else {
            std::string base = kOperand[c];
            body += row.mnemonic + base + "\n";  // an operand below 256 still takes three bytes
            expected.insert(expected.end(), {code, 0x12, 0x00});
          }
        } else if (kind == "(zp)") {
          std::string big = with_large_operand(kOperand[c]);
          body += row.mnemonic + big + "\n";  // the high byte is dropped
          expected.insert(expected.end(), {code, 0x34});
        } else if (kind.empty()) {
          body += row.mnemonic + kOperand[c] + "\n";
          expected.push_back(code);
          if (c == 2 || c == 6 || c == 7) expected.push_back(0x12);
          if (c == 8) expected.insert(expected.end(), {0x34, 0x12});
        } else {
          ADD_FAILURE() << "unknown mark in the cell '" << cell << "'";
        }
      } else {
        ADD_FAILURE() << "cannot read the cell '" << cell << "'";
      }
    }
    int status;
    std::string err;
    auto bytes = assemble_code(body, status, err);
    EXPECT_EQ(status, 0) << body << err;
    EXPECT_EQ(hex_string(bytes), hex_string(expected)) << body;
  }
}

// --- Messages -----------------------------------------------------------------------

// The string literals of a C++ source, as written (escapes kept), outside comments and
// character literals.
std::vector<std::string> string_literals(const std::string& src) {
  std::vector<std::string> literals;
  std::size_t i = 0;
  while (i < src.size()) {
    char c = src[i];
    if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
      i = src.find('\n', i);
      if (i == std::string::npos) break;
    } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
      i = src.find("*/", i + 2);
      if (i == std::string::npos) break;
      i += 2;
    } else if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      while (j < src.size() && src[j] != c) j += src[j] == '\\' ? 2 : 1;
      if (c == '"') literals.push_back(src.substr(i + 1, j - i - 1));
      i = j + 1;
    } else {
      ++i;
    }
  }
  return literals;
}

TEST(LanguageMd, EveryMessageIsDescribed) {
  // Every line format in the program's sources ("...\n") appears in the document, except
  // those that begin with a conversion (composed lines, described in words).
  const std::string doc = read_file(kDocument);
  std::set<std::string> missing;
  int seen = 0;
  for (const char* folder : {"base", "driver", "source", "parser", "assembly", "output", "fast"}) {
    for (const auto& entry : fs::directory_iterator(kSourceDir / folder)) {
      for (std::string fmt : string_literals(read_file(entry.path()))) {
        if (fmt.size() < 2 || fmt.compare(fmt.size() - 2, 2, "\\n") != 0) continue;
        fmt.erase(fmt.size() - 2);
        if (fmt.rfind("\\n", 0) == 0) fmt.erase(0, 2);
        if (fmt.empty() || fmt[0] == '%') continue;
        ++seen;
        if (doc.find(fmt) == std::string::npos) missing.insert(fmt);
      }
    }
  }
  EXPECT_GE(seen, 30);
  EXPECT_TRUE(missing.empty()) << [&] {
    std::string s = "not described in docs/language.md:";
    for (const auto& f : missing) s += "\n  " + f;
    return s;
  }();
}

}  // namespace
