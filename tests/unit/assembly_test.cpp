// The assembly model through its operations, called the way the reduction actions call them
// (pass number, current section, ExprValues): sections, symbols and labels, instruction
// encoding, data directives, and the reports and the binary load file built from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assembly/data.h"
#include "assembly/encode.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/diag.h"
#include "output/reports.h"
#include "output/xex.h"
#include "tests/support/run_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

ExprValue v(int32_t value) { return ExprValue{value, 1}; }
ExprValue undefined_value(int32_t value) { return ExprValue{value, 0}; }

DataList list_of(std::initializer_list<DataList> items) {
  DataList l = *items.begin();
  for (auto it = items.begin() + 1; it != items.end(); ++it) l = data_list_append(l, *it);
  return l;
}
// SECTION "name",start as the action calls it, in the current pass.
void select_helper(const char* name, int32_t start) {
  ExprValue s = v(start);
  section_statement(g->pass, name, &s);
}

DataList val(int32_t value) { return data_item_value(v(value)); }
DataList str(const char* text) { return data_item_string(text); }

// A stream of its own that collects what is written to it.
struct Capture {
  std::string text;
  std::unique_ptr<OutStream> stream = std::make_unique<OutStream>();
  Capture() { out_init(*stream, -1, &text, false); }
  const std::string& get() {
    out_flush(*stream);
    return text;
  }
};

class AssemblyTest : public RunFixture {
 protected:
  void select(const char* name, int32_t start) { select_helper(name, start); }
  void reselect(const char* name) { section_statement(g->pass, name, nullptr); }
  Section* cur() { return g->sections->current; }
  int32_t lc() { return g->sections->current->location_counter; }

  // Runs the body once per pass in section t (start $2000) and returns what pass 2 stored.
  Bytes two_passes(const std::function<void()>& body, int32_t start = 0x2000) {
    select("t", start);
    body();
    begin_pass2();
    select("t", start);
    body();
    Section* s = cur();
    return Bytes(s->buffer, s->buffer + s->size);
  }
  static std::string as_string(const Bytes& b) { return std::string(b.begin(), b.end()); }
};

// ---------------------------------------------------------------- sections

TEST_F(AssemblyTest, SectionStartKeepsLow16Bits) {
  select("a", 0x12345);
  EXPECT_EQ(cur()->start, 0x2345);
  select("b", -1);
  EXPECT_EQ(cur()->start, 0xFFFF);
  ExprValue fwd = undefined_value(0x1234);  // the value is taken as it is; the flag is reported
  section_statement(1, "c", &fwd);
  EXPECT_EQ(cur()->start, 0x1234);
  reselect("d");
  EXPECT_EQ(cur()->start, 0);
  EXPECT_EQ(stderr_text(),
            "Section:a  Start:2345 \n"
            "Section:b  Start:ffff \n"
            "Section:c  Start:1234 \n"
            "Section c Start Not Defined\n"
            "Section:d  Start:0000 \n");
}

TEST_F(AssemblyTest, BuffersAllocatedBetweenThePassesInTableOrder) {
  select("code", 0x2000);
  Section* code = cur();
  emit_byte_operand(1, 0xA9, v(1), cur());
  emit_opcode(1, 0x60, cur());
  select("data", 0x3000);
  Section* data = cur();
  select("big", 0x0000);
  Section* big = cur();
  directive_ds(1, v(0x12345), cur());
  begin_pass2();
  // big: bucket 5 of 11, data: 9, code: 10.
  EXPECT_EQ(stdout_text(),
            "Section:big  Start=0000  Size = 12345\n"
            "Section:data  Start=3000  Size = 0000\n"
            "Section:code  Start=2000  Size = 0003\n");
  EXPECT_EQ(code->size, 3);
  EXPECT_EQ(data->size, 0);
  EXPECT_EQ(big->size, 0x12345);
  ASSERT_NE(code->buffer, nullptr);
  EXPECT_EQ(as_string(Bytes(code->buffer, code->buffer + 3)), std::string(3, '\0'));
  for (int32_t i = 0; i < big->size; i += 997) ASSERT_EQ(big->buffer[i], 0);
  // Every section starts pass 2 at offset 0.
  EXPECT_EQ(code->location_counter, 0);
  EXPECT_EQ(data->location_counter, 0);
  EXPECT_EQ(big->location_counter, 0);
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(AssemblyTest, NegativeSizeGetsAnEmptyBuffer) {
  select("neg", 0x2000);
  directive_ds(1, v(-5), cur());
  EXPECT_EQ(lc(), -5);
  Section* neg = cur();
  begin_pass2();
  EXPECT_EQ(stdout_text(), "Section:neg  Start=2000  Size = fffffffb\n");
  EXPECT_EQ(stderr_text(), "Section:neg  Start:2000 \nSection neg Negative Size\n");
  EXPECT_EQ(neg->size, 0);
  EXPECT_EQ(g->error_count, 1);
}

TEST_F(AssemblyTest, UnknownSectionInPassTwoStops) {
  select("code", 0x2000);
  begin_pass2();
  try {
    reselect("nope");
    FAIL() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.status, 1);
  }
  EXPECT_EQ(stderr_text(), "Section:code  Start:2000 \nSection nope Undefined in Pass 2\n");
}

TEST_F(AssemblyTest, PassTwoRestartsOnlyWithAStartValue) {
  select("code", 0x2000);
  emit_opcode(1, 0x01, cur());
  emit_opcode(1, 0x02, cur());
  select("data", 0x3000);
  reselect("code");
  emit_opcode(1, 0x03, cur());
  begin_pass2();
  select("code", 0x2000);  // counter already 0: no message
  EXPECT_EQ(lc(), 0);
  emit_opcode(2, 0x01, cur());
  emit_opcode(2, 0x02, cur());
  select("data", 0x3000);
  reselect("code");  // no start: continues
  EXPECT_EQ(lc(), 2);
  emit_opcode(2, 0x03, cur());
  Section* code = cur();
  EXPECT_EQ(as_string(Bytes(code->buffer, code->buffer + 3)), "\x01\x02\x03");
  EXPECT_EQ(g->error_count, 0);

  clear_output();
  select("code", 0x5000);  // holds bytes: restarted, start value not used
  EXPECT_EQ(lc(), 0);
  EXPECT_EQ(code->start, 0x2000);
  EXPECT_EQ(stderr_text(), "Section code Restarted\n");
  EXPECT_EQ(g->error_count, 1);
}

TEST_F(AssemblyTest, SectionWithoutStartAssemblesFromOffsetZero) {
  reselect("nostart");
  emit_word_operand(1, 0x4C, v(0x1234), cur());
  begin_pass2();
  reselect("nostart");
  EXPECT_EQ(lc(), 0);
  emit_word_operand(2, 0x4C, v(0x1234), cur());
  EXPECT_EQ(as_string(Bytes(cur()->buffer, cur()->buffer + cur()->size)), "\x4C\x34\x12");
  EXPECT_EQ(g->error_count, 0);
}

// Code, data, .DS or a label with no section selected stop the run at the statement.
TEST_F(AssemblyTest, NothingPlacedBeforeTheFirstSection) {
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"opcode", [] { emit_opcode(1, 0xEA, nullptr); }},
      {"byte", [] { emit_byte_operand(1, 0xA9, v(1), nullptr); }},
      {"word", [] { emit_word_operand(1, 0x4C, v(1), nullptr); }},
      {"branch", [] { emit_branch(1, 0xD0, v(1), nullptr); }},
      {"zp or abs", [] { emit_zp_or_abs(0xA5, 0xAD, v(1)); }},
      {"db", [] { directive_db(1, val(1), nullptr); }},
      {"dw", [] { directive_dw(1, val(1), nullptr); }},
      {"dl", [] { directive_dl(1, val(1), nullptr); }},
      {"ds", [] { directive_ds(1, v(1), nullptr); }},
      {"label", [] { label_define(1, symbol_reference("here"), nullptr); }},
  };
  for (const auto& [what, call] : cases) {
    SCOPED_TRACE(what);
    clear_output();
    g->statement_pos = SrcPos{4, 7};
    try {
      call();
      ADD_FAILURE() << "no stop";
    } catch (const FatalStop& stop) {
      EXPECT_EQ(stop.status, 1);
    }
    EXPECT_EQ(stderr_text(), "No Section Selected, line 4, column 7\n");
  }
  // Each data list directive announced itself before it stopped.
  g->statement_pos = SrcPos{2, 1};
  clear_output();
  EXPECT_THROW(directive_db(1, val(1), nullptr), FatalStop);
  EXPECT_EQ(stdout_text(), "Generate Data Byte\n");
}

// ---------------------------------------------------------------- symbols and labels

TEST_F(AssemblyTest, SymbolsAreCreatedOnceInPassOne) {
  Symbol* a = symbol_reference("start");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->name, "start");
  EXPECT_EQ(a->value, 0);
  EXPECT_EQ(a->defined, 0);
  EXPECT_EQ(symbol_reference("start"), a);
  Symbol* upper = symbol_reference("Start");
  EXPECT_NE(upper, a);
  EXPECT_EQ(stdout_text(), "Added start\nAdded Start\n");
  EXPECT_EQ(stderr_text(), "");
}

// A hint (the fast layer's guess for the token's text) is taken only for that text and only
// when the symbol has the name: two names may share the prescanner's number. A wrong guess
// is looked past and replaced by what the lookup found.
TEST_F(AssemblyTest, HintTakenOnlyForItsTextAndItsName) {
  Symbol* a = symbol_reference("alpha");
  Symbol* b = symbol_reference("beta");
  char text[] = "beta";
  NameHint& hint = g->symbols->hint;
  hint = NameHint{text, a};
  EXPECT_EQ(symbol_reference(text), b);
  EXPECT_EQ(hint.symbol, b);
  EXPECT_EQ(symbol_reference(text), b);
  hint = NameHint{text, nullptr};
  EXPECT_EQ(symbol_reference("alpha"), a) << "another text";
  EXPECT_EQ(hint.symbol, nullptr);
  EXPECT_EQ(symbol_reference(text), b);
  EXPECT_EQ(hint.symbol, b) << "the lookup tells what it found";
  hint = NameHint{};
}

TEST_F(AssemblyTest, ForwardReferenceSeesTheLabelInPassTwo) {
  select("code", 0x2000);
  ExprValue e1 = symbol_value(symbol_reference("later"));
  EXPECT_EQ(e1.value, 0);
  EXPECT_EQ(e1.defined, 0);
  emit_word_operand(1, 0x4C, e1, cur());
  label_define(1, symbol_reference("later"), cur());
  EXPECT_EQ(stdout_text(), "Added later\n");
  begin_pass2();
  select("code", 0x2000);
  ExprValue e2 = symbol_value(symbol_reference("later"));
  EXPECT_EQ(e2.value, 0x2003);
  EXPECT_EQ(e2.defined, 1);
  emit_word_operand(2, 0x4C, e2, cur());
  label_define(2, symbol_reference("later"), cur());
  EXPECT_EQ(as_string(Bytes(cur()->buffer, cur()->buffer + 3)), "\x4C\x03\x20");
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(AssemblyTest, DoublyDefinedLabelReportsAtItsFirstDefinition) {
  select("code", 0x2000);
  label_define(1, symbol_reference("dup"), cur());
  emit_word_operand(1, 0x4C, v(0), cur());
  label_define(1, symbol_reference("dup"), cur());
  EXPECT_EQ(symbol_reference("dup")->value, 0x2003);
  EXPECT_EQ(stderr_text(), "Section:code  Start:2000 \n");

  begin_pass2();
  clear_output();
  select("code", 0x2000);
  label_define(2, symbol_reference("dup"), cur());
  EXPECT_EQ(symbol_value(symbol_reference("dup")).value, 0x2003);
  emit_word_operand(2, 0x4C, v(0), cur());
  label_define(2, symbol_reference("dup"), cur());
  EXPECT_EQ(stderr_text(), "Address Phase Error:dup Pass1=2003  Pass2=2000\n");
  EXPECT_EQ(g->error_count, 1);
}

TEST_F(AssemblyTest, LabelPast64KComparesTheFullAddress) {
  select("top", 0xFFFF);
  emit_opcode(1, 0xEA, cur());
  Symbol* hi = symbol_reference("hi");
  label_define(1, hi, cur());
  EXPECT_EQ(hi->value, 0x0000);
  begin_pass2();
  clear_output();
  select("top", 0xFFFF);
  emit_opcode(2, 0xEA, cur());
  label_define(2, hi, cur());
  EXPECT_EQ(stderr_text(), "Address Phase Error:hi Pass1=0000  Pass2=10000\n");
}

TEST_F(AssemblyTest, UndefinedSymbolIsReportedAtEachReferenceInPassTwo) {
  select("code", 0x2000);
  Symbol* u = symbol_reference("undef");
  EXPECT_EQ(symbol_value(u).value, 0);
  EXPECT_EQ(symbol_value(u).defined, 0);
  begin_pass2();
  clear_output();
  ExprValue a = symbol_value(symbol_reference("undef"));
  ExprValue b = symbol_value(symbol_reference("undef"));
  EXPECT_EQ(a.value, 0);
  EXPECT_EQ(a.defined, 0);
  EXPECT_EQ(b.value, 0);
  EXPECT_EQ(stderr_text(), "Symbol undef Not Defined\nSymbol undef Not Defined\n");
  EXPECT_EQ(g->error_count, 2);
}

TEST_F(AssemblyTest, NameUnknownToPassOne) {
  select("code", 0x2000);
  begin_pass2();
  select("code", 0x2000);
  clear_output();
  Symbol* ghost = symbol_reference("ghost");
  EXPECT_EQ(ghost, nullptr);
  EXPECT_EQ(stderr_text().rfind("Symbol ghost Not Defined\n", 0), 0u) << stderr_text();
  ExprValue e = symbol_value(ghost);
  EXPECT_EQ(e.value, 0);
  EXPECT_EQ(e.defined, 0);
  label_define(2, ghost, cur());  // nothing to define; must not fail
  EXPECT_GE(g->error_count, 1);
  EXPECT_EQ(g->symbols->table->element_count, 0);
}

TEST_F(AssemblyTest, LongNamesAreKeptWhole) {
  std::string base(99, 'n');
  std::string n1 = base + "1", n2 = base + "2";
  Symbol* s1 = symbol_reference(n1.c_str());
  Symbol* s2 = symbol_reference(n2.c_str());
  EXPECT_NE(s1, s2);
  EXPECT_EQ(std::string(s1->name), n1);
  EXPECT_EQ(std::string(s2->name), n2);
  EXPECT_EQ(stdout_text(), "Added " + n1 + "\nAdded " + n2 + "\n");
  std::string sec1 = base + "a", sec2 = base + "b";
  select(sec1.c_str(), 0x1000);
  Section* a = cur();
  select(sec2.c_str(), 0x2000);
  EXPECT_NE(cur(), a);
  EXPECT_EQ(std::string(cur()->name), sec2);
  EXPECT_EQ(a->start, 0x1000);
}

// ---------------------------------------------------------------- instruction encoding

TEST_F(AssemblyTest, PassOneOnlyMeasures) {
  select("code", 0x2000);
  emit_byte_operand(1, 0xA9, v(1), cur());      // LDA #1
  emit_zp_or_abs(0xA5, 0xAD, v(0x1234));       // LDA $1234
  emit_opcode(1, 0x18, cur());                 // CLC
  EXPECT_EQ(lc(), 6);
  emit_word_operand(1, 0x4C, v(0x12), cur());  // JMP $12
  EXPECT_EQ(lc(), 9);
  emit_branch(1, 0xD0, v(0x9999), cur());      // far target: not looked at
  EXPECT_EQ(lc(), 11);
  EXPECT_EQ(cur()->buffer, nullptr);
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(AssemblyTest, ZeroPageOrAbsoluteSizes) {
  select("code", 0x2000);
  struct Case {
    ExprValue operand;
    int32_t size;
  } cases[] = {
      {v(0x12), 2},   {v(0xFF), 2},    {v(0x100), 3},       {v(0x1234), 3},
      {v(-1), 2},     {v(INT32_MIN), 2}, {v(0x12345), 3}, {undefined_value(0x12), 3},
      {undefined_value(0), 3},
  };
  for (const Case& c : cases) {
    int32_t before = lc();
    emit_zp_or_abs(0xA5, 0xAD, c.operand);
    EXPECT_EQ(lc() - before, c.size) << c.operand.value << " defined " << c.operand.defined;
  }
}

TEST_F(AssemblyTest, StoredBytes) {
  struct Case {
    const char* what;
    std::function<void()> emit;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"LDA #$1234", [] { emit_byte_operand(g->pass, 0xA9, v(0x1234), g->sections->current); }, "\xA9\x34"},
      {"LDA $0012", [] { emit_zp_or_abs(0xA5, 0xAD, v(0x0012)); }, "\xA5\x12"},
      {"LDA -1", [] { emit_zp_or_abs(0xA5, 0xAD, v(-1)); }, "\xA5\xFF"},
      {"LDA $12345", [] { emit_zp_or_abs(0xA5, 0xAD, v(0x12345)); }, "\xAD\x45\x23"},
      {"LDA undef", [] { emit_zp_or_abs(0xA5, 0xAD, undefined_value(0)); }, std::string("\xAD\x00\x00", 3)},
      {"STY $1234,X", [] { emit_byte_operand(g->pass, 0x94, v(0x1234), g->sections->current); }, "\x94\x34"},
      {"LDA $12,Y", [] { emit_word_operand(g->pass, 0xB9, v(0x12), g->sections->current); }, std::string("\xB9\x12\x00", 3)},
      {"JMP $12", [] { emit_word_operand(g->pass, 0x4C, v(0x12), g->sections->current); }, std::string("\x4C\x12\x00", 3)},
      {"JMP $123456", [] { emit_word_operand(g->pass, 0x4C, v(0x123456), g->sections->current); }, "\x4C\x56\x34"},
      {"BRK", [] { emit_opcode(g->pass, 0x00, g->sections->current); }, std::string("\x00", 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restart();
    Bytes b = two_passes(c.emit);
    EXPECT_EQ(as_string(b), c.bytes);
    EXPECT_EQ(lc(), static_cast<int32_t>(c.bytes.size()));
    EXPECT_EQ(g->error_count, 0);
  }
}

TEST_F(AssemblyTest, BranchDisplacements) {
  struct Case {
    int32_t target;
    uint8_t displacement;
    bool out_of_range;
  } cases[] = {
      {0x2000, 0xFE, false},  // to itself
      {0x2002, 0x00, false},  // to the next instruction
      {0x2081, 0x7F, false},  // furthest forward
      {0x2082, 0x80, true},   {0x1F82, 0x80, false},  // furthest back
      {0x1F81, 0x7F, true},   {0x0000, 0xFE, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    restart();
    Bytes b = two_passes([&] { emit_branch(g->pass, 0xD0, v(c.target), g->sections->current); });
    EXPECT_EQ(as_string(b), (std::string{'\xD0', static_cast<char>(c.displacement)}));
    if (c.out_of_range) {
      EXPECT_NE(stderr_text().find("Branch Out of Range at 2000\n"), std::string::npos) << stderr_text();
      EXPECT_EQ(g->error_count, 1);
    } else {
      EXPECT_EQ(stderr_text().find("Branch"), std::string::npos) << stderr_text();
      EXPECT_EQ(g->error_count, 0);
    }
  }
}

TEST_F(AssemblyTest, BranchOutOfRangeNamesTheBranchAddress) {
  auto body = [] {
    directive_ds(g->pass, v(0x20), g->sections->current);
    emit_branch(g->pass, 0x90, v(0x0100), g->sections->current);
  };
  Bytes b = two_passes(body, 0xFFF0);
  // The branch stands at $10010; its displacement is $0100 - $10012.
  EXPECT_EQ(b[0x20], 0x90);
  EXPECT_EQ(b[0x21], static_cast<uint8_t>(0x0100 - 0x10012));
  EXPECT_NE(stderr_text().find("Branch Out of Range at 0010\n"), std::string::npos) << stderr_text();
}

// A forward reference to a zero-page label: 3 bytes in pass 1, 2 in pass 2.
TEST_F(AssemblyTest, ForwardZeroPageLabelMakesThePassesDisagree) {
  auto body = [] {
    select_helper("code", 0x2000);
    emit_zp_or_abs(0xA5, 0xAD, symbol_value(symbol_reference("zp")));
    label_define(g->pass, symbol_reference("after"), g->sections->current);
    emit_opcode(g->pass, 0xEA, g->sections->current);
    select_helper("zpage", 0x0080);
    label_define(g->pass, symbol_reference("zp"), g->sections->current);
    emit_opcode(g->pass, 0x00, g->sections->current);
  };
  body();
  Section* code = static_cast<Section*>(table_find(g->sections->table, "code"));
  EXPECT_EQ(code->location_counter, 4);
  EXPECT_EQ(symbol_reference("after")->value, 0x2003);
  EXPECT_EQ(symbol_reference("zp")->value, 0x0080);
  begin_pass2();
  clear_output();
  body();
  EXPECT_EQ(as_string(Bytes(code->buffer, code->buffer + code->size)), std::string("\xA5\x80\xEA\x00", 4));
  EXPECT_EQ(code->location_counter, 3);
  EXPECT_EQ(stderr_text(), "Address Phase Error:after Pass1=2003  Pass2=2002\n");
}

// ---------------------------------------------------------------- data directives

TEST_F(AssemblyTest, DataWordAndLongCells) {
  std::vector<int32_t> counters;
  Bytes b = two_passes([&] {
    directive_dw(g->pass, list_of({val(1), val(2)}), g->sections->current);
    counters.push_back(lc());
    directive_dw(g->pass, str("AB"), g->sections->current);
    counters.push_back(lc());
    directive_dl(g->pass, list_of({val(1), str("ABC")}), g->sections->current);
    counters.push_back(lc());
    directive_dw(g->pass, list_of({val(0x12345), val(-1), str("\xE9")}), g->sections->current);
    counters.push_back(lc());
    directive_dl(g->pass, list_of({val(0x12345678), val(-2), str("\xE9")}), g->sections->current);
    counters.push_back(lc());
  });
  EXPECT_EQ(counters, (std::vector<int32_t>{4, 8, 24, 30, 42, 4, 8, 24, 30, 42}));
  const std::string expect = std::string("\x01\x00\x02\x00", 4) + std::string("\x41\x00\x42\x00", 4) +
                             std::string("\x01\x00\x00\x00\x41\x00\x00\x00\x42\x00\x00\x00\x43\x00\x00\x00", 16) +
                             std::string("\x45\x23\xFF\xFF\xE9\x00", 6) +
                             std::string("\x78\x56\x34\x12\xFE\xFF\xFF\xFF\xE9\x00\x00\x00", 12);
  EXPECT_EQ(as_string(b), expect);
}

TEST_F(AssemblyTest, UndefinedDataValueStoresZeroSilently) {
  Bytes b = two_passes([&] {
    directive_db(g->pass, data_item_value(undefined_value(0)), g->sections->current);
    directive_dw(g->pass, data_item_value(undefined_value(0)), g->sections->current);
  });
  EXPECT_EQ(as_string(b), std::string(3, '\0'));
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(AssemblyTest, ReserveMovesTheCounterOnly) {
  std::vector<int32_t> counters;
  Bytes b = two_passes([&] {
    emit_opcode(g->pass, 0xEA, g->sections->current);
    directive_ds(g->pass, v(10), g->sections->current);
    counters.push_back(lc());
    directive_ds(g->pass, v(0), g->sections->current);
    counters.push_back(lc());
    directive_ds(g->pass, undefined_value(2), g->sections->current);  // flag not consulted
    counters.push_back(lc());
    directive_ds(g->pass, v(-3), g->sections->current);
    counters.push_back(lc());
    emit_opcode(g->pass, 0x60, g->sections->current);
  });
  EXPECT_EQ(counters, (std::vector<int32_t>{11, 11, 13, 10, 11, 11, 13, 10}));
  Bytes expect(11, 0);
  expect[0] = 0xEA;
  expect[10] = 0x60;
  EXPECT_EQ(b, expect);
  // .DS prints nothing.
  EXPECT_EQ(stdout_text(), "Section:t  Start=2000  Size = 000b\n");
  EXPECT_EQ(g->error_count, 0);
}

// .DS of a later label: 0 bytes in pass 1, the label's address in pass 2.
TEST_F(AssemblyTest, ReserveOfALaterLabelOverflowsOnce) {
  auto body = [] {
    select_helper("code", 0x2000);
    directive_ds(g->pass, symbol_value(symbol_reference("fwd")), g->sections->current);
    emit_opcode(g->pass, 0xEA, g->sections->current);
    label_define(g->pass, symbol_reference("fwd"), g->sections->current);
    emit_opcode(g->pass, 0xEA, g->sections->current);
  };
  body();
  Section* code = cur();
  EXPECT_EQ(lc(), 2);
  begin_pass2();
  clear_output();
  body();
  EXPECT_EQ(code->size, 2);
  EXPECT_EQ(as_string(Bytes(code->buffer, code->buffer + 2)), std::string(2, '\0'));
  EXPECT_EQ(code->location_counter, 0x2003);
  EXPECT_EQ(stderr_text(), "Section code Overflow\nAddress Phase Error:fwd Pass1=2001  Pass2=4002\n");
  EXPECT_EQ(g->error_count, 2);
}

TEST_F(AssemblyTest, StoresBelowOffsetZeroAreDroppedAndReportedPerSection) {
  auto body = [] {
    select_helper("one", 0x2000);
    directive_ds(g->pass, v(4), g->sections->current);
    directive_ds(g->pass, v(-6), g->sections->current);
    emit_opcode(g->pass, 0xEA, g->sections->current);  // at offset -2
    emit_opcode(g->pass, 0xEA, g->sections->current);  // at offset -1
    directive_ds(g->pass, v(6), g->sections->current);
    select_helper("two", 0x3000);
    emit_opcode(g->pass, 0x60, g->sections->current);
  };
  body();
  Section* one = static_cast<Section*>(table_find(g->sections->table, "one"));
  Section* two = static_cast<Section*>(table_find(g->sections->table, "two"));
  EXPECT_EQ(one->location_counter, 6);
  begin_pass2();
  clear_output();
  body();
  EXPECT_EQ(Bytes(one->buffer, one->buffer + one->size), Bytes(6, 0));
  // "two" now overflows too: its own message.
  emit_opcode(2, 0x60, two);
  emit_opcode(2, 0x60, two);
  EXPECT_EQ(stderr_text(), "Section one Overflow\nSection two Overflow\n");
  EXPECT_EQ(two->buffer[0], 0x60);
  EXPECT_EQ(g->error_count, 2);
}

// ---------------------------------------------------------------- reports

TEST_F(AssemblyTest, DumpCountLineGoesToStandardOutput) {
  Capture c;
  const uint8_t bytes[] = {0xA9, 0x01, 0x60};
  dump_bytes(*c.stream, bytes, 3);
  // The count line goes to standard output whatever the stream.
  EXPECT_EQ(stdout_text(), "Print Array of 3\n");
  EXPECT_EQ(c.get(), "a9-01-60-" + std::string(15, ' ') + "..`\n");
}

TEST_F(AssemblyTest, LoadFileEndAddresses) {
  select("empty", 0x2000);
  select("zero", 0x0000);
  select("wrap", 0xF000);
  directive_ds(1, v(0x2000), cur());
  begin_pass2();
  select("wrap", 0xF000);
  directive_ds(2, v(0x1FFF), cur());
  emit_opcode(2, 0x99, cur());
  clear_output();
  Section* wrap = cur();
  Section* empty = static_cast<Section*>(table_find(g->sections->table, "empty"));
  Section* zero = static_cast<Section*>(table_find(g->sections->table, "zero"));

  Capture a, b, c;
  write_segment(*a.stream, empty);
  write_segment(*b.stream, zero);
  write_segment(*c.stream, wrap);
  EXPECT_EQ(a.get(), std::string("\x00\x20\xFF\x1F", 4));
  EXPECT_EQ(b.get(), std::string("\x00\x00\xFF\xFF", 4));
  const std::string& w = c.get();
  ASSERT_EQ(w.size(), 4u + 0x2000u);
  EXPECT_EQ(w.substr(0, 4), std::string("\x00\xF0\xFF\x0F", 4));
  EXPECT_EQ(static_cast<uint8_t>(w.back()), 0x99);
  EXPECT_EQ(stderr_text(),
            "Output Section empty:2000::1fff\n"
            "Output Section zero:0000::ffff\n"
            "Output Section wrap:f000::0fff\n");
}

}  // namespace
