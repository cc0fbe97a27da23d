// Expression values. Arithmetic is done on unsigned 32-bit numbers, so that every result
// wraps modulo 2^32 without undefined behaviour.
#include "assembly/expr.h"

#include <cstring>

#include "base/diag.h"
#include "base/run.h"

// Conversions between the value and the unsigned arithmetic that wraps it.
static inline int32_t wrap(uint32_t v) { return static_cast<int32_t>(v); }
static inline uint32_t u(int32_t v) { return static_cast<uint32_t>(v); }
// Whether both operands were defined.
static inline int32_t both(ExprValue a, ExprValue b) { return (a.defined && b.defined) ? 1 : 0; }

int32_t decimal_literal(const char* text) {
  uint32_t v = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; p++) v = v * 10u + static_cast<uint32_t>(*p - '0');
  return wrap(v);
}

int32_t hex_literal(const char* text) {
  uint32_t v = 0;
  for (const char* p = text; *p; p++) {
    int d;
    if (*p >= '0' && *p <= '9') d = *p - '0';
    else if (*p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
    else break;
    // Larger values stop at the largest. The test comes before the digit is taken in: a
    // ninth significant digit would push the value out of 32 bits first.
    if (v > (0x7FFFFFFFu - static_cast<uint32_t>(d)) / 16u) return 0x7FFFFFFF;
    v = v * 16u + static_cast<uint32_t>(d);
  }
  return wrap(v);
}

int32_t char_literal(const char* text) { return static_cast<int8_t>(static_cast<uint8_t>(text[0])); }

char* string_literal(const char* text) { return arena_strdup(g->statement, text, std::strlen(text)); }

ExprValue expr_number(int32_t n) { return ExprValue{n, 1}; }
ExprValue expr_add(ExprValue a, ExprValue b) { return ExprValue{wrap(u(a.value) + u(b.value)), both(a, b)}; }
ExprValue expr_sub(ExprValue a, ExprValue b) { return ExprValue{wrap(u(a.value) - u(b.value)), both(a, b)}; }
ExprValue expr_mul(ExprValue a, ExprValue b) { return ExprValue{wrap(u(a.value) * u(b.value)), both(a, b)}; }
ExprValue expr_and(ExprValue a, ExprValue b) { return ExprValue{a.value & b.value, both(a, b)}; }
ExprValue expr_or(ExprValue a, ExprValue b) { return ExprValue{a.value | b.value, both(a, b)}; }
ExprValue expr_xor(ExprValue a, ExprValue b) { return ExprValue{a.value ^ b.value, both(a, b)}; }

// A divisor of 0 gives 0: reported when the 0 is a known value, silent when it is only a
// symbol not yet defined. The one quotient that overflows wraps to itself.
static bool divisor_zero(ExprValue b) {
  if (b.value != 0) return false;
  if (b.defined) report_error_at(g->operand_pos, "Division by Zero\n");
  return true;
}

ExprValue expr_div(ExprValue a, ExprValue b) {
  int32_t d = both(a, b);
  if (divisor_zero(b)) return ExprValue{0, d};
  if (a.value == INT32_MIN && b.value == -1) return ExprValue{INT32_MIN, d};
  return ExprValue{a.value / b.value, d};
}

ExprValue expr_mod(ExprValue a, ExprValue b) {
  int32_t d = both(a, b);
  if (divisor_zero(b)) return ExprValue{0, d};
  if (b.value == -1) return ExprValue{0, d};
  return ExprValue{a.value % b.value, d};
}

ExprValue expr_negate(ExprValue a) { return ExprValue{wrap(0u - u(a.value)), a.defined ? 1 : 0}; }
ExprValue expr_low_byte(ExprValue a) { return ExprValue{a.value & 0xFF, a.defined ? 1 : 0}; }
ExprValue expr_high_byte(ExprValue a) { return ExprValue{(a.value >> 8) & 0xFF, a.defined ? 1 : 0}; }
