// Instruction encoding: pass 1 measures, pass 2 stores.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/section.h"

void emit_opcode(int pass, uint8_t opcode, Section* s);
void emit_byte_operand(int pass, uint8_t opcode, ExprValue operand, Section* s);
void emit_word_operand(int pass, uint8_t opcode, ExprValue operand, Section* s);
void emit_branch(int pass, uint8_t opcode, ExprValue target, Section* s);
void emit_zp_or_abs(uint8_t zp_opcode, uint8_t abs_opcode, ExprValue operand);
