// Every instruction form of the 6502 as this assembler knows it, checked through whole
// runs: each (mnemonic, form) assembles to its opcode and operand bytes, and every form the
// table leaves out is a syntax error.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/support/run_helper.h"

namespace {

enum Form { IMP, ACC, IMM, ZP, ABS, REL, ZPX, ABSX, ZPY, ABSY, INDX, INDY, IND };

struct Op {
  const char* mnemonic;
  Form form;
  uint8_t opcode;
  int size;
};

// clang-format off
const Op kOps[] = {
  {"ADC", IMM, 0x69, 2}, {"ADC", ZP, 0x65, 2}, {"ADC", ABS, 0x6D, 3}, {"ADC", ZPX, 0x75, 2},
  {"ADC", ABSX, 0x7D, 3}, {"ADC", ABSY, 0x79, 3}, {"ADC", INDX, 0x61, 2}, {"ADC", INDY, 0x71, 2},
  {"AND", IMM, 0x29, 2}, {"AND", ZP, 0x25, 2}, {"AND", ABS, 0x2D, 3}, {"AND", ZPX, 0x35, 2},
  {"AND", ABSX, 0x3D, 3}, {"AND", ABSY, 0x39, 3}, {"AND", INDX, 0x21, 2}, {"AND", INDY, 0x31, 2},
  {"ASL", ACC, 0x0A, 1}, {"ASL", ZP, 0x06, 2}, {"ASL", ABS, 0x0E, 3}, {"ASL", ZPX, 0x16, 2},
  {"ASL", ABSX, 0x1E, 3},
  {"BCC", REL, 0x90, 2}, {"BCS", REL, 0xB0, 2}, {"BEQ", REL, 0xF0, 2},
  {"BIT", IMM, 0x89, 2}, {"BIT", ZP, 0x24, 2}, {"BIT", ABS, 0x2C, 3},
  {"BMI", REL, 0x30, 2}, {"BNE", REL, 0xD0, 2}, {"BPL", REL, 0x10, 2},
  {"BRK", IMP, 0x00, 1},
  {"BVC", REL, 0x50, 2}, {"BVS", REL, 0x70, 2},
  {"CLC", IMP, 0x18, 1}, {"CLD", IMP, 0xD8, 1}, {"CLI", IMP, 0x58, 1}, {"CLV", IMP, 0xB8, 1},
  {"CMP", IMM, 0xC9, 2}, {"CMP", ZP, 0xC5, 2}, {"CMP", ABS, 0xCD, 3}, {"CMP", ZPX, 0xD5, 2},
  {"CMP", ABSX, 0xDD, 3}, {"CMP", ABSY, 0xD9, 3}, {"CMP", INDX, 0xC1, 2}, {"CMP", INDY, 0xD1, 2},
  {"CPX", IMM, 0xE0, 2}, {"CPX", ZP, 0xE4, 2}, {"CPX", ABS, 0xEC, 3},
  {"CPY", IMM, 0xC0, 2}, {"CPY", ZP, 0xC4, 2}, {"CPY", ABS, 0xCC, 3},
  {"DEC", ZP, 0xC6, 2}, {"DEC", ABS, 0xCE, 3}, {"DEC", ZPX, 0xD6, 2}, {"DEC", ABSX, 0xDE, 3},
  {"DEX", IMP, 0xCA, 1}, {"DEY", IMP, 0x88, 1},
  {"EOR", IMM, 0x49, 2}, {"EOR", ZP, 0x45, 2}, {"EOR", ABS, 0x4D, 3}, {"EOR", ZPX, 0x55, 2},
  {"EOR", ABSX, 0x5D, 3}, {"EOR", ABSY, 0x59, 3}, {"EOR", INDX, 0x41, 2}, {"EOR", INDY, 0x51, 2},
  {"INC", ZP, 0xE6, 2}, {"INC", ABS, 0xEE, 3}, {"INC", ZPX, 0xF6, 2}, {"INC", ABSX, 0xFE, 3},
  {"INX", IMP, 0xE8, 1}, {"INY", IMP, 0xC8, 1},
  {"JMP", ABS, 0x4C, 3}, {"JMP", IND, 0x6C, 3},
  {"JSR", ABS, 0x20, 3},
  {"LDA", IMM, 0xA9, 2}, {"LDA", ZP, 0xA5, 2}, {"LDA", ABS, 0xAD, 3}, {"LDA", ZPX, 0xB5, 2},
  {"LDA", ABSX, 0xBD, 3}, {"LDA", ABSY, 0xB9, 3}, {"LDA", INDX, 0xA1, 2}, {"LDA", INDY, 0xB1, 2},
  {"LDX", IMM, 0xA2, 2}, {"LDX", ZP, 0xA6, 2}, {"LDX", ABS, 0xAE, 3}, {"LDX", ZPY, 0xB6, 2},
  {"LDX", ABSY, 0xBE, 3},
  {"LDY", IMM, 0xA0, 2}, {"LDY", ZP, 0xA4, 2}, {"LDY", ABS, 0xAC, 3}, {"LDY", ZPX, 0xB4, 2},
  {"LDY", ABSX, 0xBC, 3},
  {"LSR", ACC, 0x4A, 1}, {"LSR", ZP, 0x46, 2}, {"LSR", ABS, 0x4E, 3}, {"LSR", ZPX, 0x56, 2},
  {"LSR", ABSX, 0x5E, 3},
  {"NOP", IMP, 0xEA, 1},
  {"ORA", IMM, 0x09, 2}, {"ORA", ZP, 0x05, 2}, {"ORA", ABS, 0x0D, 3}, {"ORA", ZPX, 0x15, 2},
  {"ORA", ABSX, 0x1D, 3}, {"ORA", ABSY, 0x19, 3}, {"ORA", INDX, 0x01, 2}, {"ORA", INDY, 0x11, 2},
  {"PHA", IMP, 0x48, 1}, {"PHP", IMP, 0x08, 1}, {"PLA", IMP, 0x68, 1}, {"PLP", IMP, 0x28, 1},
  {"ROL", ACC, 0x2A, 1}, {"ROL", ZP, 0x26, 2}, {"ROL", ABS, 0x2E, 3}, {"ROL", ZPX, 0x36, 2},
  {"ROL", ABSX, 0x3E, 3},
  {"ROR", ACC, 0x6A, 1}, {"ROR", ZP, 0x66, 2}, {"ROR", ABS, 0x6E, 3}, {"ROR", ZPX, 0x76, 2},
  {"ROR", ABSX, 0x7E, 3},
  {"RTI", IMP, 0x40, 1}, {"RTS", IMP, 0x60, 1},
  {"SBC", IMM, 0xE9, 2}, {"SBC", ZP, 0xE5, 2}, {"SBC", ABS, 0xED, 3}, {"SBC", ZPX, 0xF5, 2},
  {"SBC", ABSX, 0xFD, 3}, {"SBC", ABSY, 0xF9, 3}, {"SBC", INDX, 0xE1, 2}, {"SBC", INDY, 0xF1, 2},
  {"SEC", IMP, 0x38, 1}, {"SED", IMP, 0xF8, 1}, {"SEI", IMP, 0x78, 1},
  {"STA", ZP, 0x85, 2}, {"STA", ABS, 0x8D, 3}, {"STA", ZPX, 0x95, 2}, {"STA", ABSX, 0x9D, 3},
  {"STA", ABSY, 0x99, 3}, {"STA", INDX, 0x81, 2}, {"STA", INDY, 0x91, 2},
  {"STX", ZP, 0x86, 2}, {"STX", ABS, 0x8E, 3}, {"STX", ZPY, 0x96, 2},
  {"STY", ZP, 0x84, 2}, {"STY", ABS, 0x8C, 3}, {"STY", ZPX, 0x94, 2},
  {"TAX", IMP, 0xAA, 1}, {"TAY", IMP, 0xA8, 1}, {"TSX", IMP, 0xBA, 1}, {"TXA", IMP, 0x8A, 1},
  {"TXS", IMP, 0x9A, 1}, {"TYA", IMP, 0x98, 1},
};
// clang-format on

using Result = xtest::Outcome;

// One whole run of a source file; the binary load file is captured.
Result assemble(const std::string& source) { return xtest::run_source(source); }

// The load file of one section at $2000 that holds these bytes.
std::string load_file(const std::vector<uint8_t>& bytes) {
  uint16_t end = static_cast<uint16_t>(0x2000 + bytes.size() - 1);
  std::string f = {'\xFF', '\xFF', '\x00', '\x20', static_cast<char>(end & 0xFF), static_cast<char>(end >> 8)};
  f.append(bytes.begin(), bytes.end());
  return f;
}

std::string hex(const std::string& s) {
  std::string h;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    h += b;
  }
  return h;
}

void expect_bytes(const std::string& statement, const std::vector<uint8_t>& bytes) {
  Result r = assemble(".SECTION \"t\",$2000\n" + statement + "\n");
  EXPECT_EQ(r.status, 0) << statement << "\n" << r.err;
  EXPECT_EQ(hex(r.xex), hex(load_file(bytes))) << statement;
}

const Op* find(const std::string& mnemonic, Form form) {
  for (const Op& op : kOps)
    if (mnemonic == op.mnemonic && op.form == form) return &op;
  return nullptr;
}

// The bytes for an operand written as a plain number: the zero-page form when the value
// fits and the mnemonic has one, or when it has no absolute form at all.
std::vector<uint8_t> choose(const Op* zp, const Op* abs, int value) {
  if (zp && (value < 256 || !abs)) return {zp->opcode, static_cast<uint8_t>(value & 0xFF)};
  return {abs->opcode, static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

std::set<std::string> mnemonics() {
  std::set<std::string> m;
  for (const Op& op : kOps) m.insert(op.mnemonic);
  return m;
}

TEST(OpcodeTable, TableShape) {
  EXPECT_EQ(mnemonics().size(), 56u);
  std::set<uint8_t> opcodes;
  std::set<std::pair<std::string, Form>> forms;
  for (const Op& op : kOps) {
    EXPECT_TRUE(opcodes.insert(op.opcode).second) << "opcode twice: " << int(op.opcode);
    EXPECT_TRUE(forms.insert({op.mnemonic, op.form}).second) << op.mnemonic << " form twice";
  }
  // The 151 opcodes of the NMOS 6502 and BIT immediate.
  EXPECT_EQ(opcodes.size(), 152u);
}

// Each row with an operand that selects its own form: $12 for the one-byte operands, $1234
// for the two-byte ones, and a branch target 14 bytes past the next instruction.
TEST(OpcodeTable, EveryFormAssemblesToItsBytes) {
  for (const Op& op : kOps) {
    std::string m = op.mnemonic;
    std::string statement;
    int operand = 0;
    switch (op.form) {
      case IMP: statement = m; break;
      case ACC: statement = m + " A"; break;
      case IMM: statement = m + " #$12", operand = 0x12; break;
      case ZP: statement = m + " $12", operand = 0x12; break;
      case ABS: statement = m + " $1234", operand = 0x1234; break;
      case REL: statement = m + " $2010", operand = 0x0E; break;
      case ZPX: statement = m + " $12,X", operand = 0x12; break;
      case ABSX: statement = m + " $1234,X", operand = 0x1234; break;
      case ZPY: statement = m + " $12,Y", operand = 0x12; break;
      case ABSY: statement = m + " $1234,Y", operand = 0x1234; break;
      case INDX: statement = m + " ($12,X)", operand = 0x12; break;
      case INDY: statement = m + " ($12),Y", operand = 0x12; break;
      case IND: statement = m + " ($1234)", operand = 0x1234; break;
    }
    std::vector<uint8_t> bytes = {op.opcode};
    if (op.size >= 2) bytes.push_back(static_cast<uint8_t>(operand & 0xFF));
    if (op.size == 3) bytes.push_back(static_cast<uint8_t>(operand >> 8));
    expect_bytes(statement, bytes);
  }
}

// The other operand size for every indexed and plain form: a mnemonic without the short
// form takes the long one, and one without the long form keeps the short one.
TEST(OpcodeTable, OperandSizeChoosesAmongTheFormsThatExist) {
  const std::pair<Form, Form> families[] = {{ZP, ABS}, {ZPX, ABSX}, {ZPY, ABSY}};
  const char* suffix[] = {"", ",X", ",Y"};
  for (const std::string& m : mnemonics()) {
    for (int k = 0; k < 3; k++) {
      const Op* zp = find(m, families[k].first);
      const Op* abs = find(m, families[k].second);
      if (!zp && !abs) continue;
      expect_bytes(m + " $12" + suffix[k], choose(zp, abs, 0x12));
      expect_bytes(m + " $1234" + suffix[k], choose(zp, abs, 0x1234));
    }
  }
  expect_bytes("JMP ($12)", {0x6C, 0x12, 0x00});
  expect_bytes("BNE $2000", {0xD0, 0xFE});
}

TEST(OpcodeTable, OperandsThatChooseTheForm) {
  expect_bytes("LDA $0012", {0xA5, 0x12});  // leading zeros do not force the long form
  expect_bytes("LDA $00FF", {0xA5, 0xFF});
  expect_bytes("LDA $0100", {0xAD, 0x00, 0x01});
  expect_bytes("LDA -1", {0xA5, 0xFF});
  expect_bytes("LDA $12,Y", {0xB9, 0x12, 0x00});  // absolute form only
  expect_bytes("LDX $12,Y", {0xB6, 0x12});
  expect_bytes("STY $1234,X", {0x94, 0x34});      // zero-page form only
  expect_bytes("STX $1234,Y", {0x96, 0x34});
  expect_bytes("JMP $12", {0x4C, 0x12, 0x00});
  expect_bytes("JSR $FFE4", {0x20, 0xE4, 0xFF});
  expect_bytes("LDA #>$1234", {0xA9, 0x34});
  expect_bytes("LDA #<$1234", {0xA9, 0x12});
  expect_bytes("BIT #$80", {0x89, 0x80});
  expect_bytes("LDA 1 LDX 2", {0xA5, 0x01, 0xA6, 0x02});
  expect_bytes("LDA 1\n-2", {0xA5, 0xFF});
  // A label before the section's end sees the size of what precedes it.
  expect_bytes("LDA $1234,Y\nhere: JMP here", {0xB9, 0x34, 0x12, 0x4C, 0x03, 0x20});
  expect_bytes("STY $1234,X\nhere: JMP here", {0x94, 0x34, 0x4C, 0x02, 0x20});
}

// The statement for one form of a mnemonic, with operands that would select the short form.
std::string written(const std::string& m, Form form) {
  switch (form) {
    case IMP: return m;
    case ACC: return m + " A";
    case IMM: return m + " #$12";
    case ZP: case ABS: case REL: return m + " $12";
    case ZPX: case ABSX: return m + " $12,X";
    case ZPY: case ABSY: return m + " $12,Y";
    case INDX: return m + " ($12,X)";
    case INDY: return m + " ($12),Y";
    case IND: return m + " ($12)";
  }
  return m;
}

bool has_family(const std::string& m, Form form) {
  switch (form) {
    case ZP: case ABS: case REL: return find(m, ZP) || find(m, ABS) || find(m, REL);
    case ZPX: case ABSX: return find(m, ZPX) || find(m, ABSX);
    case ZPY: case ABSY: return find(m, ZPY) || find(m, ABSY);
    default: return find(m, form) != nullptr;
  }
}

TEST(OpcodeTable, NoOtherFormExists) {
  const Form families[] = {IMP, ACC, IMM, ZP, ZPX, ZPY, INDX, INDY, IND};
  int checked = 0;
  for (const std::string& m : mnemonics()) {
    for (Form f : families) {
      if (has_family(m, f)) continue;
      std::string statement = written(m, f);
      Result r = assemble(".SECTION \"t\",$2000\n" + statement + "\n");
      EXPECT_EQ(r.status, 1) << statement;
      bool diagnosed = r.err.find("Unexpected ") != std::string::npos || r.err.find("Missing ") != std::string::npos;
      EXPECT_TRUE(diagnosed) << statement << "\n" << r.err;
      checked++;
    }
  }
  // 56 mnemonics times 9 written forms, less the 115 that exist.
  EXPECT_EQ(checked, 56 * 9 - 115);
}

// The diagnostic itself, for a few forms a reader might expect to exist. Each pass reports it.
TEST(OpcodeTable, MissingFormsAreDiagnosedWhereTheyGoWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"LDX $10,X", "Missing YREG, line 2, column 9\n"},
      {"STX $10,X", "Missing YREG, line 2, column 9\n"},
      {"STY $10,Y", "Missing XREG, line 2, column 9\n"},
      {"LDY $10,Y", "Missing XREG, line 2, column 9\n"},
      {"STA #1", "Unexpected '#', line 2, column 5\n"},
      {"JSR ($10)", "Unexpected '(', line 2, column 5\n"},
      {"JMP ($10,X)", "Unexpected ',', line 2, column 9\n"},
      {"LDA (5,Y)", "Missing XREG, line 2, column 8\n"},
      {"ASL", "Unexpected eof, line 3, column 1\n"},
      {"LDA (5)", "Missing ',', line 3, column 1\n"},
      {"SVC", "Unexpected input, line 2, column 1\n"},
  };
  for (const auto& [statement, message] : cases) {
    Result r = assemble(".SECTION \"t\",$2000\n" + std::string(statement) + "\n");
    EXPECT_EQ(r.status, 1) << statement;
    size_t first = r.err.find(message);
    ASSERT_NE(first, std::string::npos) << statement << "\n" << r.err;
    EXPECT_NE(r.err.find(message, first + 1), std::string::npos) << statement << ": once only\n" << r.err;
  }
}

}  // namespace
