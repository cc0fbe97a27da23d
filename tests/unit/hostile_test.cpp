// Hostile input, run in process where the input or the output is too big for a case
// folder: stray bytes in every token position, 100,000-character lines, tokens at the
// length limit, deep nesting up to and past the parser stack, 60,000 symbols, a source
// cut after every token of a statement, writes that end where a buffer ends, and output
// that cannot be written.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_helper.h"

namespace {

using xtest::Outcome;

const std::string& work_dir() {
  static const std::string path = xtest::shared_scratch().path().string();
  return path;
}

// One whole run of the source, read from a file; the binary load file is captured.
Outcome assemble(const std::string& source) { return xtest::run_source(source); }

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// The binary load file of one section.
std::string load_file(uint16_t start, const std::string& data) {
  uint16_t end = static_cast<uint16_t>(start + data.size() - 1);
  return bytes({0xFF, 0xFF, start & 0xFF, start >> 8, end & 0xFF, end >> 8}) + data;
}

std::string hex4(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%04x", v);
  return b;
}

// The section dump of one section, as the report prints it.
std::string dump(const std::string& name, uint16_t start, const std::string& data, int64_t end = -1) {
  std::string s = "------------- Section Dump " + name + " -----------------\nPrint Array of " +
                  std::to_string(data.size()) + "\n";
  std::string chars;
  for (size_t i = 0; i < data.size(); i++) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    char b[4];
    std::snprintf(b, sizeof b, "%02x%c", c, i % 8 == 7 ? ' ' : '-');
    s += b;
    chars += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
    if (i % 8 == 7) {
      s += chars + "\n";
      chars.clear();
    }
  }
  if (!chars.empty()) s += std::string(3 * (8 - chars.size()), ' ') + chars;
  s += "\n";
  uint32_t e = static_cast<uint32_t>(end < 0 ? static_cast<int64_t>(data.size()) : end);
  return s + "Section:" + name + "  Start=" + hex4(start) + "  End = " + hex4(e) +
         " Size = " + std::to_string(data.size()) + "\n";
}

const std::string kSymbols = "-------------- Symbol Table -----------------\n";
const std::string kSection = ".SECTION \"c\",$2000\n";
const std::string kSectionLine = "Section:c  Start:2000 \n";

std::string output_line(uint16_t start, size_t size) {
  return "Output Section c:" + hex4(start) + "::" + hex4(static_cast<uint16_t>(start + size - 1)) + "\n";
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) n++;
  return n;
}

std::string overflow(int line, int column) {
  return "\nParser stack overflow, line " + std::to_string(line) + ", column " +
         std::to_string(column) + "\n";
}

std::string diag(const std::string& message, int line, int column) {
  return message + ", line " + std::to_string(line) + ", column " + std::to_string(column) + "\n";
}

// ---------------------------------------------------------------------------------------
// Stray bytes: NUL and every byte from $80 to $FF, in every position a token can take.
// Such a byte is not white space, not punctuation and not a name character: it starts a
// name of its own and ends the name or number before it. In a string, a comment or a
// character constant it is just a byte. A NUL ends a token's text, as the token text is a
// NUL-terminated string: a name that starts with NUL is the empty name, a string is cut
// at its first NUL.

std::vector<int> stray_bytes() {
  std::vector<int> v = {0x00};
  for (int b = 0x80; b <= 0xFF; b++) v.push_back(b);
  return v;
}

// The name a token that starts with byte b and continues with rest is known by.
std::string name_of(int b, const std::string& rest) {
  return b == 0 ? std::string() : static_cast<char>(b) + rest;
}

TEST(HostileBytes, StartOfStatementIsALabelName) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + static_cast<char>(b) + ": NOP\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kSectionLine + output_line(0x2000, 1));
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA})));
    EXPECT_TRUE(contains(r.out, "Added " + name_of(b, "") + "\n"));
    EXPECT_TRUE(contains(r.out, kSymbols + name_of(b, "") + "\t$2000\n"));
  }
}

TEST(HostileBytes, InsideANameSplitsIt) {
  // ab, then a name that starts with the byte: the label ab lacks its colon. The colon
  // that follows still defines ab (the parser keeps its place after an error), and the
  // NOP is placed.
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + "ab" + static_cast<char>(b) + "cd: NOP\n");
    EXPECT_EQ(r.status, 1);
    std::string missing = diag("Missing ':'", 2, 3);
    EXPECT_EQ(r.err, kSectionLine + missing + missing + output_line(0x2000, 1));
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA})));
    EXPECT_TRUE(contains(r.out, kSymbols + "ab\t$2000\n"));
    EXPECT_FALSE(contains(r.out, "Added " + name_of(b, "cd") + "\n"));
  }
}

TEST(HostileBytes, InsideAStringIsStored) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + ".DB \"x" + static_cast<char>(b) + "y\",1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string want = b == 0 ? bytes({'x', 1}) : bytes({'x', b, 'y', 1});
    EXPECT_EQ(r.xex, load_file(0x2000, want));
    EXPECT_EQ(r.err, kSectionLine + output_line(0x2000, want.size()));
  }
}

TEST(HostileBytes, AfterAQuoteIsASignedCharacterConstant) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + ".DW '" + static_cast<char>(b) + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    // $80-$FF are -128 to -1: the word's high byte is $FF.
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({b, b >= 0x80 ? 0xFF : 0x00})));
  }
}

TEST(HostileBytes, InsideANumberEndsIt) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    // 12, then the label <b>3 at $2001.
    Outcome r = assemble(kSection + ".DB 12" + static_cast<char>(b) + "3: NOP\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({12, 0xEA})));
    EXPECT_TRUE(contains(r.out, "Added " + name_of(b, "3") + "\n"));
    EXPECT_TRUE(contains(r.out, kSymbols + name_of(b, "3") + "\t$2001\n"));
  }
}

TEST(HostileBytes, InsideAHexNumberEndsIt) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + ".DB $1F" + static_cast<char>(b) + ": NOP\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0x1F, 0xEA})));
    EXPECT_TRUE(contains(r.out, kSymbols + name_of(b, "") + "\t$2001\n"));
  }
}

TEST(HostileBytes, AfterADollarLeavesAnEmptyHexNumber) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(kSection + ".DB $" + static_cast<char>(b) + "z: NOP\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0x00, 0xEA})));
    EXPECT_TRUE(contains(r.out, kSymbols + name_of(b, "z") + "\t$2001\n"));
  }
}

TEST(HostileBytes, InsideACommentIsSkipped) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    std::string c(1, static_cast<char>(b));
    Outcome r = assemble(kSection + "NOP ;" + c + " x " + c + c + "\nNOP\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kSectionLine + output_line(0x2000, 2));
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA, 0xEA})));
  }
}

TEST(HostileBytes, InsideASectionName) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble(".SECTION \"s" + std::string(1, static_cast<char>(b)) + "\",$2000\nNOP\n");
    std::string name = b == 0 ? "s" : "s" + std::string(1, static_cast<char>(b));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Section:" + name + "  Start:2000 \nOutput Section " + name + ":2000::2000\n");
    EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA})));
  }
}

TEST(HostileBytes, InsideAnIncludeName) {
  for (int b : stray_bytes()) {
    SCOPED_TRACE("byte " + std::to_string(b));
    Outcome r = assemble("INCLUDE \"nofile" + std::string(1, static_cast<char>(b)) + "\"\n");
    std::string name = b == 0 ? "nofile" : "nofile" + std::string(1, static_cast<char>(b));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, name + "\n");
    EXPECT_EQ(r.err, "Could not open Include File " + name + "\n");
  }
}

// ---------------------------------------------------------------------------------------
// Lines of 100,000 characters.

TEST(HostileLongLines, DataListOf100000Characters) {
  std::string line = ".DB ", want;
  for (int i = 0; i < 25000; i++) {
    char b[8];
    std::snprintf(b, sizeof b, "%s$%02x", i ? "," : "", i & 0xFF);
    line += b;
    want += static_cast<char>(i & 0xFF);
  }
  ASSERT_GE(line.size(), 100000u);
  Outcome r = assemble(kSection + line + "\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 500);
  EXPECT_EQ(r.xex, load_file(0x2000, want));
  EXPECT_EQ(count(r.out, "Generate Data Byte\n"), 2u);
}

TEST(HostileLongLines, SumOf50000Terms) {
  std::string line = ".DW 1";
  for (int i = 1; i < 50000; i++) line += "+1";
  Outcome r = assemble(kSection + line + "\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 500);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0x50, 0xC3})));  // 50000 = $C350
}

TEST(HostileLongLines, CommentOf100000Characters) {
  std::string comment = ";" + std::string(100000, 'x');
  Outcome r = assemble(kSection + "NOP " + comment + "\nINX\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA, 0xE8})));
}

TEST(HostileLongLines, ColumnsPast65535AreCounted) {
  // 25,000 NOPs fill columns 1 to 100,000; the comma after them is at column 100,001.
  std::string line;
  for (int i = 0; i < 25000; i++) line += "NOP ";
  Outcome r = assemble(kSection + line + ",\n");
  EXPECT_EQ(r.status, 1);
  std::string e = diag("Unexpected ','", 2, 100001);
  EXPECT_EQ(r.err, kSectionLine + e + e + output_line(0x2000, 25000));
  EXPECT_EQ(r.xex, load_file(0x2000, std::string(25000, '\xEA')));
}

TEST(HostileLongLines, StringOf100000CharactersIsTooLong) {
  Outcome r = assemble(kSection + "  .DB \"" + std::string(100000, 's') + "\"\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 2, 7));
  EXPECT_EQ(r.out, "");
}

TEST(HostileLongLines, NameOf100000CharactersIsTooLong) {
  Outcome r = assemble(kSection + "NOP " + std::string(100000, 'n') + ": NOP\n");
  EXPECT_EQ(r.status, 1);
  // The NOP is placed when the name's token arrives, and that token is never finished.
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 2, 5));
}

// ---------------------------------------------------------------------------------------
// Tokens of 2047 characters (the most the token text holds) and of 2048.

TEST(HostileTokenLength, NameOf2047CharactersIsALabel) {
  std::string name = "L" + std::string(2046, 'x');
  Outcome r = assemble(kSection + name + ": NOP\n.DW " + name + "\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA, 0x00, 0x20})));
  EXPECT_TRUE(contains(r.out, "Added " + name + "\n"));
  EXPECT_TRUE(contains(r.out, kSymbols + name + "\t$2000\n"));
}

TEST(HostileTokenLength, NamesDifferingOnlyInTheirLastCharacterStayApart) {
  std::string a = std::string(2046, 'q') + "a", b = std::string(2046, 'q') + "b";
  Outcome r = assemble(kSection + a + ": NOP\n" + b + ": INX\n.DB >" + a + ",>" + b + "\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA, 0xE8, 0x00, 0x01})));
}

TEST(HostileTokenLength, NameOf2048CharactersIsTooLong) {
  Outcome r = assemble(kSection + "NOP\n\tINX " + std::string(2048, 'x') + ": NOP\n");
  EXPECT_EQ(r.status, 1);
  // The tab takes INX to column 9; the name starts at column 13.
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 3, 13));
  EXPECT_EQ(r.out, "");
}

TEST(HostileTokenLength, StringOf2047CharactersIsStored) {
  std::string s;
  for (int i = 0; i < 2047; i++) s += static_cast<char>('A' + i % 26);
  Outcome r = assemble(kSection + ".DB \"" + s + "\"\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.xex, load_file(0x2000, s));
}

TEST(HostileTokenLength, LinesInsideAStringOf2047AreCounted) {
  // 2047 characters of which 99 are line feeds: the string ends on line 101, and the ')'
  // on the next line is on line 102.
  std::string s;
  for (int i = 0; i < 2047; i++) s += (i % 20 == 19 && i < 1990) ? '\n' : 'z';
  ASSERT_EQ(count(s, "\n"), 99u);
  Outcome r = assemble(kSection + ".DB \"" + s + "\"\n  )\n");
  EXPECT_EQ(r.status, 1);
  std::string e = diag("Unexpected ')'", 102, 3);
  EXPECT_EQ(r.err, kSectionLine + e + e + output_line(0x2000, 2047));
}

TEST(HostileTokenLength, StringOf2048CharactersIsTooLong) {
  Outcome r = assemble(kSection + ".DB 1,\"" + std::string(2048, 's') + "\"\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 2, 7));
}

TEST(HostileTokenLength, SectionNameOf2047Characters) {
  std::string name = std::string(2047, 'S');
  Outcome r = assemble(".SECTION \"" + name + "\",$2000\nNOP\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.err, "Section:" + name + "  Start:2000 \nOutput Section " + name + ":2000::2000\n");
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xEA})));
}

TEST(HostileTokenLength, DecimalNumberOf2047Digits) {
  Outcome r = assemble(kSection + ".DB " + std::string(2045, '0') + "65\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({65})));
}

TEST(HostileTokenLength, DecimalNumberOf2048DigitsIsTooLong) {
  Outcome r = assemble(kSection + ".DB 1, " + std::string(2048, '7') + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 2, 8));
}

TEST(HostileTokenLength, HexNumberOf2047Digits) {
  Outcome r = assemble(kSection + ".DB $" + std::string(2045, '0') + "fE\n");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({0xFE})));
}

TEST(HostileTokenLength, HexNumberOf2048DigitsIsTooLong) {
  // Reported at the '$'.
  Outcome r = assemble(kSection + "LDA #$" + std::string(2048, 'f') + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kSectionLine + diag("Token Too Long", 2, 6));
}

// ---------------------------------------------------------------------------------------
// Nesting: the parser stack holds 128 entries. After a first statement the stack holds
// it (1), then '.', DB (2 more), so a .DB expression has 125 entries left.

// .DB with n opening brackets, a number and n closing brackets, after a SECTION statement.
std::string brackets(int n, int value) {
  return kSection + ".DB " + std::string(static_cast<size_t>(n), '[') + std::to_string(value) +
         std::string(static_cast<size_t>(n), ']') + "\n";
}

TEST(HostileNesting, ParserStackHolds123Brackets) {
  // 3 + 123 brackets; the number's expression takes the 128th entry, and every ']'
  // finds the stack one short of full.
  Outcome r = assemble(brackets(123, 7));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({7})));
}

TEST(HostileNesting, StackOverflowsAtTheFirstClosingBracketOf124) {
  // 3 + 124 brackets and the number fill the stack; each ']' would be its 129th entry.
  // Columns: brackets 5-128, the number 129, the brackets 130-253; end of input on line 3.
  Outcome r = assemble(brackets(124, 7));
  EXPECT_EQ(r.status, 1);
  std::string pass;
  for (int c = 130; c <= 253; c++) pass += overflow(2, c);
  pass += diag("Unexpected eof", 3, 1);
  EXPECT_EQ(r.err, kSectionLine + pass + pass + "Output Section c:2000::1fff\n");
  EXPECT_EQ(r.out, "Section:c  Start=2000  Size = 0000\n***** PASS 2 *****\n" +
                       dump("c", 0x2000, "") + kSymbols);
  EXPECT_EQ(r.xex, bytes({0xFF, 0xFF, 0x00, 0x20, 0xFF, 0x1F}));
}

TEST(HostileNesting, TwoHundredNestedBrackets) {
  // Brackets 1-125 fill the stack (columns 5-129); brackets 126-200 (columns 130-204)
  // and the number (column 205) overflow it. The parser then still waits for an
  // expression after a '[', so each ']' (columns 206-405) and the end of input are
  // unexpected.
  Outcome r = assemble(brackets(200, 1));
  EXPECT_EQ(r.status, 1);
  std::string pass;
  for (int c = 130; c <= 205; c++) pass += overflow(2, c);
  for (int c = 206; c <= 405; c++) pass += diag("Unexpected ']'", 2, c);
  pass += diag("Unexpected eof", 3, 1);
  EXPECT_EQ(r.err, kSectionLine + pass + pass + "Output Section c:2000::1fff\n");
  EXPECT_EQ(r.out, "Section:c  Start=2000  Size = 0000\n***** PASS 2 *****\n" +
                       dump("c", 0x2000, "") + kSymbols);
  EXPECT_EQ(r.xex, bytes({0xFF, 0xFF, 0x00, 0x20, 0xFF, 0x1F}));
}

// The value of the prefix operators ops (applied right to left) on v.
int32_t apply_prefix(const std::string& ops, int32_t v) {
  for (size_t i = ops.size(); i-- > 0;) {
    if (ops[i] == '-') v = static_cast<int32_t>(0u - static_cast<uint32_t>(v));
    else if (ops[i] == '>') v &= 0xFF;
    else v = (v >> 8) & 0xFF;
  }
  return v;
}

std::string mixed_prefix(int n) {
  // Mostly minus signs, with a low-byte and a high-byte operator among them.
  std::string ops(static_cast<size_t>(n), '-');
  ops[static_cast<size_t>(n) / 3] = '>';
  ops[static_cast<size_t>(n) - 5] = '<';
  return ops;
}

TEST(HostileNesting, ParserStackHolds124PrefixOperators) {
  std::string ops = mixed_prefix(124);
  Outcome r = assemble(kSection + ".DB " + ops + "$1234\n");
  EXPECT_EQ(r.status, 0) << r.err;
  int32_t v = apply_prefix(ops, 0x1234);
  // By hand, right to left from $1234: four -, then < gives $12, 77 - give -$12, > gives
  // $EE, 41 - give -$EE = -238, whose low byte is $12.
  EXPECT_EQ(v, -238);
  EXPECT_EQ(r.xex, load_file(0x2000, bytes({v & 0xFF})));
}

TEST(HostileNesting, TwoHundredPrefixOperators) {
  // Operators 1-125 fill the stack (columns 5-129); operators 126-200 (columns 130-204)
  // and the number (column 205) overflow it; then the end of input is unexpected.
  Outcome r = assemble(kSection + ".DB " + mixed_prefix(200) + "5\n");
  EXPECT_EQ(r.status, 1);
  std::string pass;
  for (int c = 130; c <= 205; c++) pass += overflow(2, c);
  pass += diag("Unexpected eof", 3, 1);
  EXPECT_EQ(r.err, kSectionLine + pass + pass + "Output Section c:2000::1fff\n");
  EXPECT_EQ(r.xex, bytes({0xFF, 0xFF, 0x00, 0x20, 0xFF, 0x1F}));
}

// ---------------------------------------------------------------------------------------
// A chain of 30 files, each including the next: twenty are suspended at most.

std::string chain_name(int k) {
  char b[32];
  std::snprintf(b, sizeof b, "/n%02d.inc", k);
  return work_dir() + b;
}

// Writes n01.inc to n30.inc; file k includes file k+1 unless k is last, which holds a NOP.
void write_chain(int last) {
  for (int k = 1; k <= 30; k++) {
    std::ofstream f(chain_name(k), std::ios::binary | std::ios::trunc);
    if (k < last) f << "INX\nINCLUDE \"" << chain_name(k + 1) << "\"\n";
    else f << "NOP\n";
  }
}

TEST(HostileIncludes, TwentyNestedIncludesAreRead) {
  write_chain(20);
  Outcome r = assemble(kSection + "INCLUDE \"" + chain_name(1) + "\" INY\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string names;
  for (int k = 1; k <= 20; k++) names += chain_name(k) + "\n";
  EXPECT_EQ(r.out.substr(0, names.size()), names);
  EXPECT_EQ(count(r.out, ".inc\n"), 40u);  // both passes
  EXPECT_EQ(r.xex, load_file(0x2000, std::string(19, '\xE8') + "\xEA\xC8"));
}

TEST(HostileIncludes, TheTwentyFirstNestedIncludeOverflows) {
  write_chain(30);
  Outcome r = assemble(kSection + "INCLUDE \"" + chain_name(1) + "\"\n");
  EXPECT_EQ(r.status, 1);
  std::string names;
  for (int k = 1; k <= 21; k++) names += chain_name(k) + "\n";
  EXPECT_EQ(r.out, names);
  EXPECT_EQ(r.err, kSectionLine + "File Include Overflow\n");
}

// ---------------------------------------------------------------------------------------
// 60,000 distinct symbols: a label before each of 60,000 NOPs from $0100 up.

uint16_t name_hash(const std::string& name) {
  uint16_t h = 0;
  for (unsigned char c : name) {
    h = static_cast<uint16_t>((h << 12) + c);
    uint16_t g = h & 0xC000;
    if (g) h = (h ^ (g >> 12)) & 0x3FFF;
  }
  return h;
}

TEST(HostileSize, SixtyThousandSymbols) {
  const int n = 60000;
  std::string source = ".SECTION \"c\",$0100\n", added;
  std::vector<std::vector<int>> buckets(59);
  for (int i = 0; i < n; i++) {
    std::string name = "s" + std::to_string(i);
    source += name + ": NOP\n";
    added += "Added " + name + "\n";
    buckets[name_hash(name) % 59].push_back(i);
  }
  // Table order: bucket 0 up, each chain from the most recently inserted.
  std::string listing = kSymbols;
  for (const auto& chain : buckets)
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
      listing.append("s").append(std::to_string(*it)).append("\t$").append(hex4(0x100 + static_cast<uint32_t>(*it))).append("\n");
  std::string code(n, '\xEA');

  Outcome r = assemble(source);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 500);
  EXPECT_EQ(r.err, "Section:c  Start:0100 \nOutput Section c:0100::eb5f\n");
  EXPECT_EQ(r.xex, load_file(0x0100, code));
  size_t at = r.out.find(kSymbols);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(count(r.out.substr(at), "\n"), static_cast<size_t>(n) + 1);
  EXPECT_TRUE(r.out.substr(at) == listing) << "the symbol listing differs";
  EXPECT_TRUE(r.out == added + "Section:c  Start=0100  Size = ea60\n***** PASS 2 *****\n" +
                           dump("c", 0x0100, code) + listing)
      << "standard output differs";
}

TEST(HostileSize, SectionOfExactly16MiBIsAllocated) {
  // $FFFFFF reserved bytes and a NOP: 16 MiB exactly, the largest section allowed.
  Outcome r = assemble(kSection + ".DS $FFFFFF\nNOP\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, kSectionLine + "Output Section c:2000::1fff\n");
  ASSERT_EQ(r.xex.size(), 6u + (1u << 24));
  EXPECT_EQ(r.xex.substr(0, 6), bytes({0xFF, 0xFF, 0x00, 0x20, 0xFF, 0x1F}));
  EXPECT_EQ(r.xex.find_first_not_of('\0', 6), 6u + 0xFFFFFF);
  EXPECT_EQ(static_cast<unsigned char>(r.xex.back()), 0xEA);
  EXPECT_TRUE(contains(r.out, "Section:c  Start=2000  Size = 1000000\n"));
}

// ---------------------------------------------------------------------------------------
// End of input after every token of `.SECTION "c",$2000` and `LDA ($10),Y`.

struct Cut {
  const char* source;  // the source up to and including the token, no line feed after it
  int status;
  const char* diagnostic;  // printed in each pass; empty: none
  const char* section;     // "" when no section is made, else the pass-1 section line
  std::string code;        // the section's bytes
  uint16_t start;
};

TEST(HostileEndOfInput, AfterEveryTokenOfAStatement) {
  const Cut cuts[] = {
      {"", 1, "Unexpected eof, line 1, column 1\n", "", "", 0},
      {".", 1, "Unexpected eof, line 1, column 2\n", "", "", 0},
      {".SECTION", 1, "Missing STRING, line 1, column 9\n", "", "", 0},
      // A section without a start is complete.
      {".SECTION \"c\"", 0, "", "Section:c  Start:0000 \n", "", 0x0000},
      {".SECTION \"c\",", 1, "Unexpected eof, line 1, column 14\n", "", "", 0},
      {".SECTION \"c\",$2000", 0, "", "Section:c  Start:2000 \n", "", 0x2000},
      {".SECTION \"c\",$2000\nLDA", 1, "Unexpected eof, line 2, column 4\n", "Section:c  Start:2000 \n", "",
       0x2000},
      {".SECTION \"c\",$2000\nLDA (", 1, "Unexpected eof, line 2, column 6\n", "Section:c  Start:2000 \n", "",
       0x2000},
      {".SECTION \"c\",$2000\nLDA ($10", 1, "Unexpected eof, line 2, column 9\n", "Section:c  Start:2000 \n",
       "", 0x2000},
      {".SECTION \"c\",$2000\nLDA ($10)", 1, "Missing ',', line 2, column 10\n", "Section:c  Start:2000 \n",
       "", 0x2000},
      {".SECTION \"c\",$2000\nLDA ($10),", 1, "Missing YREG, line 2, column 11\n",
       "Section:c  Start:2000 \n", "", 0x2000},
      {".SECTION \"c\",$2000\nLDA ($10),Y", 0, "", "Section:c  Start:2000 \n", bytes({0xB1, 0x10}), 0x2000},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(std::string("source: ") + c.source);
    Outcome r = assemble(c.source);
    EXPECT_EQ(r.status, c.status);
    bool has_section = *c.section != '\0';
    std::string err = std::string(c.section) + c.diagnostic + c.diagnostic;
    std::string out;
    if (has_section) {
      err += "Output Section c:" + hex4(c.start) + "::" +
             hex4(static_cast<uint16_t>(c.start + c.code.size() - 1)) + "\n";
      out = "Section:c  Start=" + hex4(c.start) + "  Size = " + hex4(static_cast<uint32_t>(c.code.size())) +
            "\n***** PASS 2 *****\n" + dump("c", c.start, c.code) + kSymbols;
      EXPECT_EQ(r.xex, load_file(c.start, c.code));
    } else {
      out = "***** PASS 2 *****\n" + kSymbols;
      EXPECT_EQ(r.xex, bytes({0xFF, 0xFF}));
    }
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.out, out);
  }
}

// ---------------------------------------------------------------------------------------
// Writes that end exactly where a buffer ends: the 64 KiB of standard output, the 512 bytes
// a line is formatted in. Standard error goes to a file through its descriptor, so that a
// byte written past the standard output buffer, onto the next stream, loses the lines
// that follow it.

constexpr size_t kOutBuffer = 65536;

Outcome run_with_stderr_file(const std::string& source) {
  const xtest::ScratchDir dir;
  const std::string src = dir.write("edge.asm", source), err = (dir.path() / "err").string();
  static const std::string no_input;
  Outcome r;
  RunIO io;
  io.stdin_text = &no_input;
  io.stdout_capture = &r.out;
  io.stderr_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  io.xex_capture = &r.xex;
  r.status = xexasm_run({src}, io);
  close(io.stderr_fd);
  r.err = xtest::read_file(err);
  return r;
}

struct BufferEdge {
  std::string what, source, out, err;
};

// A dump row that starts 32 bytes before the end of the buffer (rows are 33 bytes).
BufferEdge dump_row_at_the_end() {
  const std::string name(22, 'r'), zeros(16000, '\0');
  BufferEdge e{"dump row", ".SECTION \"" + name + "\",$2000\n.DS 16000\n",
               "Section:" + name + "  Start=2000  Size = 3e80\n***** PASS 2 *****\n" + dump(name, 0x2000, zeros) + kSymbols,
               "Section:" + name + "  Start:2000 \nOutput Section " + name + ":2000::5e7f\n"};
  const size_t first_row = e.out.find("00-00-00-00-00-00-00-00 ........\n");
  EXPECT_EQ((kOutBuffer - 32 - first_row) % 33, 0u) << "no row starts 32 bytes before the end";
  return e;
}

// A symbol line whose last byte would be the 65537th of standard output: a label of n
// characters on .DS k, with n and k chosen so.
BufferEdge symbol_line_one_past_the_end() {
  for (int k = 15000;; k++) {
    auto make = [k](const std::string& name) {
      return BufferEdge{"symbol line", kSection + name + ": .DS " + std::to_string(k) + "\n",
                        "Added " + name + "\nSection:c  Start=2000  Size = " + hex4(k) + "\n***** PASS 2 *****\n" +
                            dump("c", 0x2000, std::string(k, '\0')) + kSymbols + name + "\t$2000\n",
                        kSectionLine + output_line(0x2000, k)};
    };
    const size_t rest = kOutBuffer + 1 - make("").out.size();  // two bytes per character of the name
    if (rest % 2 == 0 && rest >= 2 && rest / 2 <= 2047) return make(std::string(rest / 2, 'q'));
  }
}

// An "Added" line whose name ends exactly at the end of the buffer, before its line feed:
// 3400 "Generate Data Byte" lines of pass 1, then "Added " and a name of 930 characters.
BufferEdge added_line_at_the_end() {
  const std::string name(930, 'a');
  std::string source = kSection, generated;
  for (int i = 0; i < 3400; i++) source += ".DB 0\n", generated += "Generate Data Byte\n";
  BufferEdge e{"Added line", source + name + ": NOP\n",
               generated + "Added " + name + "\nSection:c  Start=2000  Size = 0d49\n***** PASS 2 *****\n" + generated +
                   dump("c", 0x2000, std::string(3400, '\0') + "\xEA") + kSymbols + name + "\t$2d48\n",
               kSectionLine + output_line(0x2000, 3401)};
  EXPECT_EQ(generated.size() + 6 + name.size(), kOutBuffer);
  return e;
}

// The dump reserves room for 64 rows (2,112 bytes) at a time: a block of them that starts
// 2,111 bytes before the end of the buffer, placed there by the length of a label's name
// (the section's name moves it two bytes a character, the label's one).
BufferEdge dump_block_one_byte_short_of_room() {
  const std::string section(200, 's'), dumped = dump(section, 0x2000, std::string(16000, '\0'));
  const std::string before_label = "Added ",
                    after_label = "\nSection:" + section + "  Start=2000  Size = 3e80\n***** PASS 2 *****\n";
  const size_t first_row = before_label.size() + after_label.size() + dumped.find("00-00-00-00-00-00-00-00 ........\n");
  for (size_t n = 1; n <= 2047; n++) {
    if ((kOutBuffer - first_row - n) % (64 * 33) != 64 * 33 - 1) continue;
    const std::string label(n, 'b');
    return BufferEdge{"dump block", ".SECTION \"" + section + "\",$2000\n" + label + ": .DS 16000\n",
                      before_label + label + after_label + dumped + kSymbols + label + "\t$2000\n",
                      "Section:" + section + "  Start:2000 \nOutput Section " + section + ":2000::5e7f\n"};
  }
  ADD_FAILURE() << "no label length puts a block there";
  return {};
}

// A section name of 478 characters makes its size line exactly 512 bytes long.
BufferEdge line_of_512_bytes() {
  const std::string name(478, 'x');
  BufferEdge e{"512-byte line", ".SECTION \"" + name + "\",$2000\nNOP\n",
               "Section:" + name + "  Start=2000  Size = 0001\n***** PASS 2 *****\n" + dump(name, 0x2000, "\xEA") + kSymbols,
               "Section:" + name + "  Start:2000 \nOutput Section " + name + ":2000::2000\n"};
  EXPECT_EQ(e.out.find('\n'), 511u);
  return e;
}

TEST(HostileOutput, WritesThatEndAtTheEndOfABuffer) {
  for (const BufferEdge& e : {dump_row_at_the_end(), dump_block_one_byte_short_of_room(), symbol_line_one_past_the_end(),
                              added_line_at_the_end(), line_of_512_bytes()}) {
    SCOPED_TRACE(e.what);
    Outcome r = run_with_stderr_file(e.source);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, e.out);
    EXPECT_EQ(r.err, e.err);
  }
}

// ---------------------------------------------------------------------------------------
// Output that cannot be written.

TEST(HostileOutput, LoadFileLinkedToAFullDevice) {
  const xtest::ScratchDir dir;
  std::string src = dir.write("full.asm", ".SECTION \"code\",$2000\nstart: LDA #1\n");
  std::string xex = (dir.path() / "full.xex").string();
  std::filesystem::create_symlink("/dev/full", xex);
  xtest::RunOptions options;
  options.capture_xex = false;
  Outcome r = xtest::run_args({src}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Section:code  Start:2000 \nOutput Section code:2000::2001\nCould not write " + xex + "\n");
  EXPECT_TRUE(contains(r.out, kSymbols + "start\t$2000\n"));
}

TEST(HostileOutput, StandardOutputOnAFullDevice) {
  int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  std::string src = ".SECTION \"code\",$2000\n";
  for (int i = 0; i < 3000; i++) src.append("l").append(std::to_string(i)).append(": NOP\n");
  xtest::RunOptions options;
  options.stdout_fd = fd;
  Outcome r = xtest::run_source(src, options);
  close(fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.err, "Could not write standard output\n"), 1u) << r.err;
  EXPECT_EQ(r.err.rfind("Section:code  Start:2000 \n", 0), 0u) << r.err;
}

// A load file written beside its target and renamed over it keeps the old file's owner
// (where the run may give it: as root) and mode. Only the owner differs from the run's
// own, so that the owner alone must lead to the change.
TEST(HostileOutput, ReplacedLoadFileKeepsOwnerAndMode) {
  const xtest::ScratchDir dir;
  std::string src = dir.write("keep.asm", ".SECTION \"code\",$2000\nNOP\n");
  std::string xex = dir.write("keep.xex", "old bytes");
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(xex.c_str(), 1234, getegid()), 0);
  }
  ASSERT_EQ(chmod(xex.c_str(), 0640), 0);
  xtest::RunOptions options;
  options.capture_xex = false;
  EXPECT_EQ(xtest::run_args({src}, options).status, 0);
  struct stat st;
  ASSERT_EQ(stat(xex.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_size, 7);
  if (root) {
    EXPECT_TRUE(st.st_uid == 1234 && st.st_gid == getegid()) << st.st_uid << ":" << st.st_gid;
  }
}

}  // namespace
