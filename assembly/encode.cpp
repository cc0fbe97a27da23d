// Instruction encoding.
#include "assembly/encode.h"

#include "base/diag.h"
#include "base/run.h"

// Moves the location counter by n bytes, wrapping modulo 2^32.
static inline void advance(Section* s, int32_t n) {
  s->location_counter = static_cast<int32_t>(static_cast<uint32_t>(s->location_counter) + static_cast<uint32_t>(n));
}

void emit_opcode(int pass, uint8_t opcode, Section* s) {
  s = section_for_statement(s);
  if (pass == 1) return advance(s, 1);
  section_store(s, opcode);
}

void emit_byte_operand(int pass, uint8_t opcode, ExprValue operand, Section* s) {
  s = section_for_statement(s);
  if (pass == 1) return advance(s, 2);
  section_store(s, opcode);
  section_store(s, static_cast<uint8_t>(operand.value & 0xFF));
}

void emit_word_operand(int pass, uint8_t opcode, ExprValue operand, Section* s) {
  s = section_for_statement(s);
  if (pass == 1) return advance(s, 3);
  section_store(s, opcode);
  section_store(s, static_cast<uint8_t>(operand.value & 0xFF));
  section_store(s, static_cast<uint8_t>((operand.value >> 8) & 0xFF));
}

void emit_branch(int pass, uint8_t opcode, ExprValue target, Section* s) {
  s = section_for_statement(s);
  if (pass == 1) return advance(s, 2);
  uint32_t at = static_cast<uint32_t>(s->start) + static_cast<uint32_t>(s->location_counter);
  section_store(s, opcode);
  uint32_t next = static_cast<uint32_t>(s->start) + static_cast<uint32_t>(s->location_counter);
  int32_t displacement = static_cast<int32_t>(static_cast<uint32_t>(target.value) - next - 1u);
  if (displacement < -128 || displacement > 127) {
    // The GNU form tells how far the target is: the displacement the branch would need.
    if (g->gnu_messages)
      report_error_at(g->statement_pos, "Branch Out of Range at %04x, distance %d\n", at & 0xFFFF, displacement);
    else
      report_error_at(g->statement_pos, "Branch Out of Range at %04x\n", at & 0xFFFF);
  }
  section_store(s, static_cast<uint8_t>(displacement & 0xFF));
}

void emit_zp_or_abs(uint8_t zp_opcode, uint8_t abs_opcode, ExprValue operand) {
  if (operand.defined && operand.value < 256)
    emit_byte_operand(g->pass, zp_opcode, operand, g->sections->current);
  else
    emit_word_operand(g->pass, abs_opcode, operand, g->sections->current);
}
