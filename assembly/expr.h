// Expression values: a signed 32-bit value and whether everything in it was defined.
// Every operator wraps modulo 2^32.
#pragma once
#include <cstdint>

struct ExprValue {
  int32_t value;
  int32_t defined;  // 0 or 1
};

// The value of a literal's text: decimal digits (wrapping), hex digits after the '$'
// (stopping at 0x7FFFFFFF), a character constant's byte (signed).
int32_t decimal_literal(const char* text);
int32_t hex_literal(const char* text);
int32_t char_literal(const char* text);
char* string_literal(const char* text);  // copy that lives until the statement is done

ExprValue expr_number(int32_t n);
ExprValue expr_add(ExprValue a, ExprValue b);
ExprValue expr_sub(ExprValue a, ExprValue b);
ExprValue expr_mul(ExprValue a, ExprValue b);
ExprValue expr_div(ExprValue a, ExprValue b);
ExprValue expr_mod(ExprValue a, ExprValue b);
ExprValue expr_and(ExprValue a, ExprValue b);
ExprValue expr_or(ExprValue a, ExprValue b);
ExprValue expr_xor(ExprValue a, ExprValue b);
ExprValue expr_negate(ExprValue a);
ExprValue expr_low_byte(ExprValue a);
ExprValue expr_high_byte(ExprValue a);
