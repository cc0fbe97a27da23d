// Expression values: literal conversion, 32-bit wrapping, the division rules, the defined
// flag, and precedence as whole sources parse it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "assembly/expr.h"
#include "assembly/symbol.h"
#include "tests/support/run_fixture.h"

namespace {

ExprValue def(int32_t v) { return ExprValue{v, 1}; }
ExprValue undef(int32_t v) { return ExprValue{v, 0}; }

class ExprTest : public RunFixture {};

TEST_F(ExprTest, DecimalLiteralsWrapModulo2To32) {
  EXPECT_EQ(decimal_literal("0"), 0);
  EXPECT_EQ(decimal_literal("0042"), 42);
  EXPECT_EQ(decimal_literal("2147483647"), INT32_MAX);
  EXPECT_EQ(decimal_literal("2147483648"), INT32_MIN);
  EXPECT_EQ(decimal_literal("4294967295"), -1);
  EXPECT_EQ(decimal_literal("4294967297"), 1);
  EXPECT_EQ(decimal_literal("99999999999999999999"), 1661992959);
}

TEST_F(ExprTest, HexLiteralsSaturateAt7FFFFFFF) {
  EXPECT_EQ(hex_literal(""), 0);
  EXPECT_EQ(hex_literal("0012"), 0x12);
  EXPECT_EQ(hex_literal("fF"), 0xFF);
  EXPECT_EQ(hex_literal("7FFFFFFF"), 0x7FFFFFFF);
  EXPECT_EQ(hex_literal("7ffffff0"), 0x7FFFFFF0);  // the last digits below the limit
  EXPECT_EQ(hex_literal("7FFFFFFE"), 0x7FFFFFFE);
  EXPECT_EQ(hex_literal("80000000"), 0x7FFFFFFF);
  EXPECT_EQ(hex_literal("FFFFFFFF"), 0x7FFFFFFF);
  EXPECT_EQ(hex_literal("123456789ABCDEF"), 0x7FFFFFFF);
  EXPECT_EQ(hex_literal("0000000000000001"), 1);
}

TEST_F(ExprTest, CharLiteralIsTheFirstByteSigned) {
  EXPECT_EQ(char_literal("A"), 65);
  EXPECT_EQ(char_literal("AB"), 65);
  EXPECT_EQ(char_literal(" "), 32);
  EXPECT_EQ(char_literal("\x7F"), 127);
  EXPECT_EQ(char_literal("\x80"), -128);
  EXPECT_EQ(char_literal("\xE9"), -23);
  EXPECT_EQ(char_literal("\xFF"), -1);
  EXPECT_EQ(expr_high_byte(def(char_literal("\xE9"))).value, 0xFF);
}

TEST_F(ExprTest, StringLiteralIsACopy) {
  char text[] = "AB;\"x\n";
  char* copy = string_literal(text);
  text[0] = 'Z';
  EXPECT_STREQ(copy, "AB;\"x\n");
  EXPECT_STREQ(string_literal(""), "");
}

TEST_F(ExprTest, OperatorsOnValues) {
  EXPECT_EQ(expr_div(def(7), def(-2)).value, -3);
  EXPECT_EQ(expr_div(def(-7), def(2)).value, -3);
  EXPECT_EQ(expr_mod(def(-7), def(2)).value, -1);
  EXPECT_EQ(expr_mod(def(7), def(-2)).value, 1);
  EXPECT_EQ(expr_and(def(6), def(3)).value, 2);
  EXPECT_EQ(expr_or(def(6), def(9)).value, 15);
  EXPECT_EQ(expr_xor(def(6), def(3)).value, 5);
  EXPECT_EQ(expr_low_byte(def(0x1234)).value, 0x34);
  EXPECT_EQ(expr_high_byte(def(0x1234)).value, 0x12);
  EXPECT_EQ(expr_low_byte(def(-1)).value, 0xFF);
  EXPECT_EQ(expr_high_byte(def(-1)).value, 0xFF);
  EXPECT_EQ(expr_high_byte(def(0x123456)).value, 0x34);
  EXPECT_EQ(expr_high_byte(def(INT32_MIN)).value, 0);
  EXPECT_EQ(expr_add(def(0xFFFF), def(1)).value, 0x10000);
  EXPECT_EQ(expr_number(-5).value, -5);
  EXPECT_EQ(expr_number(-5).defined, 1);
}

TEST_F(ExprTest, ArithmeticWraps) {
  EXPECT_EQ(expr_add(def(INT32_MAX), def(1)).value, INT32_MIN);
  EXPECT_EQ(expr_sub(def(INT32_MIN), def(1)).value, INT32_MAX);
  EXPECT_EQ(expr_mul(def(INT32_MIN), def(-1)).value, INT32_MIN);
  EXPECT_EQ(expr_mul(def(0x10000), def(0x10000)).value, 0);
  EXPECT_EQ(expr_mul(def(0x12345), def(0x54321)).value, static_cast<int32_t>(0x12345u * 0x54321u));
  EXPECT_EQ(expr_negate(def(INT32_MIN)).value, INT32_MIN);
  EXPECT_TRUE(stderr_text().empty());
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(ExprTest, DivisionByADefinedZeroIsReported) {
  ExprValue q = expr_div(def(5), def(0));
  EXPECT_EQ(q.value, 0);
  EXPECT_EQ(stderr_text(), "Division by Zero\n");
  EXPECT_EQ(g->error_count, 1);
  ExprValue r = expr_mod(def(5), def(0));
  EXPECT_EQ(r.value, 0);
  EXPECT_EQ(stderr_text(), "Division by Zero\nDivision by Zero\n");
  EXPECT_EQ(g->error_count, 2);
}

TEST_F(ExprTest, DivisionByAnUndefinedZeroIsSilent) {
  ExprValue q = expr_div(def(5), undef(0));
  EXPECT_EQ(q.value, 0);
  EXPECT_EQ(q.defined, 0);
  ExprValue r = expr_mod(undef(0), undef(0));
  EXPECT_EQ(r.value, 0);
  EXPECT_EQ(r.defined, 0);
  EXPECT_TRUE(stderr_text().empty());
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(ExprTest, MostNegativeByMinusOneIsSilent) {
  EXPECT_EQ(expr_div(def(INT32_MIN), def(-1)).value, INT32_MIN);
  EXPECT_EQ(expr_mod(def(INT32_MIN), def(-1)).value, 0);
  EXPECT_EQ(expr_div(def(INT32_MIN), def(1)).value, INT32_MIN);
  EXPECT_EQ(expr_div(def(INT32_MIN), def(2)).value, -0x40000000);  // only the pair of both overflows
  EXPECT_EQ(expr_div(def(9), def(-1)).value, -9);
  EXPECT_EQ(expr_mod(def(INT32_MIN), def(2)).value, 0);
  EXPECT_TRUE(stderr_text().empty());
  EXPECT_EQ(g->error_count, 0);
}

TEST_F(ExprTest, DefinedOnlyWhenEveryOperandIs) {
  using Bin = ExprValue (*)(ExprValue, ExprValue);
  for (Bin op : {expr_add, expr_sub, expr_mul, expr_div, expr_mod, expr_and, expr_or, expr_xor}) {
    EXPECT_EQ(op(def(6), def(3)).defined, 1);
    EXPECT_EQ(op(undef(6), def(3)).defined, 0);
    EXPECT_EQ(op(def(6), undef(3)).defined, 0);
    EXPECT_EQ(op(undef(6), undef(3)).defined, 0);
  }
  using Un = ExprValue (*)(ExprValue);
  for (Un op : {expr_negate, expr_low_byte, expr_high_byte}) {
    EXPECT_EQ(op(def(0x1234)).defined, 1);
    EXPECT_EQ(op(undef(0x1234)).defined, 0);
  }
}

// A forward reference: 0 and not defined in pass 1, the label's address in pass 2.
TEST_F(ExprTest, ForwardReferenceAcrossThePasses) {
  ExprValue start = def(0x2000);
  section_statement(1, "code", &start);
  Symbol* fwd = symbol_reference("fwd");
  ExprValue e1 = expr_add(symbol_value(fwd), expr_number(1));
  EXPECT_EQ(e1.value, 1);
  EXPECT_EQ(e1.defined, 0);
  ExprValue m1 = expr_mul(expr_number(3), symbol_value(fwd));
  EXPECT_EQ(m1.value, 0);
  EXPECT_EQ(m1.defined, 0);
  g->sections->current->location_counter = 5;
  label_define(1, symbol_reference("fwd"), g->sections->current);

  begin_pass2();
  section_statement(2, "code", &start);
  ExprValue e2 = expr_add(symbol_value(symbol_reference("fwd")), expr_number(1));
  EXPECT_EQ(e2.value, 0x2006);
  EXPECT_EQ(e2.defined, 1);
}

// Whole sources: `.DL expr` stores the full 32-bit value, low byte first. The source goes
// through a file, so that standard error holds only what the expression gives.
using xtest::Outcome;

Outcome assemble(const std::string& source) { return xtest::run_source(source); }

int32_t eval(const std::string& expr, std::string* err = nullptr) {
  Outcome a = assemble(".SECTION \"s\",0\n.DL " + expr + "\n");
  if (err) *err = a.err;
  // $FF $FF, start, end, then the four bytes.
  if (a.xex.size() != 10) {
    ADD_FAILURE() << "expression " << expr << ": xex of " << a.xex.size() << " bytes, stderr:\n" << a.err;
    return 0;
  }
  uint32_t v = 0;
  for (int i = 3; i >= 0; i--) v = (v << 8) | static_cast<uint8_t>(a.xex[6 + static_cast<size_t>(i)]);
  return static_cast<int32_t>(v);
}

TEST(ExprSource, PrecedenceAndGrouping) {
  EXPECT_EQ(eval("1+2*3"), 7);
  EXPECT_EQ(eval("[1+2]*3"), 9);
  EXPECT_EQ(eval("1|2&4"), 0);
  EXPECT_EQ(eval("6&3^1"), 2);
  EXPECT_EQ(eval("2^3+1"), 6);
  EXPECT_EQ(eval("1|2^3"), 1);
  EXPECT_EQ(eval("6&3|8"), 10);
  EXPECT_EQ(eval("6|3&8"), 0);
  EXPECT_EQ(eval("2*3+4&1"), 0);
  EXPECT_EQ(eval("8-2-1"), 5);
  EXPECT_EQ(eval("16/4/2"), 2);
  EXPECT_EQ(eval("5*-2"), -10);
  EXPECT_EQ(eval("5--2"), 7);
  EXPECT_EQ(eval("- -5"), 5);
  EXPECT_EQ(eval("--5"), 5);
  EXPECT_EQ(eval("7/-2"), -3);
  EXPECT_EQ(eval("-7%2"), -1);
  EXPECT_EQ(eval("[[2]]"), 2);
}

TEST(ExprSource, UnaryOperators) {
  EXPECT_EQ(eval("<$1234"), 0x12);
  EXPECT_EQ(eval(">$1234"), 0x34);
  EXPECT_EQ(eval("<-1"), 0xFF);
  EXPECT_EQ(eval(">-1"), 0xFF);
  EXPECT_EQ(eval("-<$1234"), -18);
  EXPECT_EQ(eval("<>$1234"), 0);
  EXPECT_EQ(eval("-<-1"), -255);
}

TEST(ExprSource, Literals) {
  EXPECT_EQ(eval("'A"), 65);
  EXPECT_EQ(eval("'\xE9"), -23);
  EXPECT_EQ(eval("<'\xE9"), 0xFF);
  EXPECT_EQ(eval("' "), 32);
  EXPECT_EQ(eval("$ "), 0);
  EXPECT_EQ(eval("$FFFFFFFF"), 0x7FFFFFFF);
  EXPECT_EQ(eval("$FFFF+1"), 0x10000);
  EXPECT_EQ(eval("4294967297"), 1);
  EXPECT_EQ(eval("2147483647+1"), INT32_MIN);
  EXPECT_EQ(eval("-2147483648/-1"), INT32_MIN);
  EXPECT_EQ(eval("-2147483648%-1"), 0);
}

TEST(ExprSource, DivisionByZeroInEachPass) {
  Outcome a = assemble(".SECTION \"s\",0\n.DL 5/0\n");
  EXPECT_EQ(a.status, 1);
  size_t first = a.err.find("Division by Zero\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(a.err.find("Division by Zero\n", first + 1), std::string::npos);
  EXPECT_EQ(a.xex, std::string("\xFF\xFF\x00\x00\x03\x00\x00\x00\x00\x00", 10));
}

TEST(ExprSource, ForwardZeroDivisorIsSilentInPassOne) {
  // In pass 1 z is 0 and undefined; in pass 2 it is $0004.
  Outcome a = assemble(".SECTION \"s\",0\n.DL 8/z\nz:\n");
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.err.find("Division"), std::string::npos);
  EXPECT_EQ(a.xex, std::string("\xFF\xFF\x00\x00\x03\x00\x02\x00\x00\x00", 10));
}

}  // namespace
