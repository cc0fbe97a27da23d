// Instruction encoding: pass 1 measures, pass 2 stores.
#pragma once
#include <cstdint>

#include "assembly/expr.h"
#include "assembly/section.h"

// One instruction of one, two or three bytes: the opcode, then its operand low byte first.
// Pass 1 only moves the location counter by the instruction's length.
void emit_opcode(int pass, uint8_t opcode, Section* s);
void emit_byte_operand(int pass, uint8_t opcode, ExprValue operand, Section* s);
void emit_word_operand(int pass, uint8_t opcode, ExprValue operand, Section* s);
// A relative branch: the operand is the distance from the byte after the branch to the
// target, reported when it does not fit in a signed byte (the low byte is stored anyway).
void emit_branch(int pass, uint8_t opcode, ExprValue target, Section* s);
// The zero-page form when the operand is defined and below 256, else the absolute form,
// in the current section.
void emit_zp_or_abs(uint8_t zp_opcode, uint8_t abs_opcode, ExprValue operand);
