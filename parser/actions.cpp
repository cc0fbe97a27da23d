// The semantic action of every production: the whole of the assembler's work.
#include "assembly/data.h"
#include "assembly/encode.h"
#include "assembly/expr.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "driver/run.h"
#include "parser/engine.h"
#include "parser/trace_record.h"

namespace {

enum Emitter : uint8_t { EMIT_OPCODE, EMIT_BYTE, EMIT_WORD, EMIT_BRANCH, EMIT_PAIR };

struct Instruction {
  Emitter emitter;
  uint8_t opcode;    // the zero-page opcode of a pair
  uint8_t absolute;  // the absolute opcode of a pair
  uint8_t operand;   // right-hand position of the operand expression
};

constexpr int FIRST_INSTRUCTION = 28;
constexpr int LAST_INSTRUCTION = 142;

constexpr Instruction op(uint8_t opcode) { return {EMIT_OPCODE, opcode, 0, 0}; }
constexpr Instruction imm(uint8_t opcode) { return {EMIT_BYTE, opcode, 0, 2}; }
constexpr Instruction pair(uint8_t zp, uint8_t abs) { return {EMIT_PAIR, zp, abs, 1}; }
constexpr Instruction word(uint8_t opcode, uint8_t at) { return {EMIT_WORD, opcode, 0, at}; }
constexpr Instruction byte(uint8_t opcode, uint8_t at) { return {EMIT_BYTE, opcode, 0, at}; }
constexpr Instruction branch(uint8_t opcode) { return {EMIT_BRANCH, opcode, 0, 1}; }

// Productions 28 to 142, in order.
constexpr Instruction instructions[LAST_INSTRUCTION - FIRST_INSTRUCTION + 1] = {
    // 28-31 mnemonic A: ASL LSR ROL ROR
    op(0x0A), op(0x4A), op(0x2A), op(0x6A),
    // 32-56 implied: PLA PHA PLP PHP TXA TAX TAY TYA TXS TSX BRK INX INY DEX DEY RTS RTI
    // CLC SEC SED SEI CLD CLI CLV NOP
    op(0x68), op(0x48), op(0x28), op(0x08), op(0x8A), op(0xAA), op(0xA8), op(0x98), op(0x9A),
    op(0xBA), op(0x00), op(0xE8), op(0xC8), op(0xCA), op(0x88), op(0x60), op(0x40), op(0x18),
    op(0x38), op(0xF8), op(0x78), op(0xD8), op(0x58), op(0xB8), op(0xEA),
    // 57-68 #expr: AND ADC BIT CMP CPX CPY EOR LDA LDX LDY ORA SBC
    imm(0x29), imm(0x69), imm(0x89), imm(0xC9), imm(0xE0), imm(0xC0), imm(0x49), imm(0xA9),
    imm(0xA2), imm(0xA0), imm(0x09), imm(0xE9),
    // 69-91 expr: AND ADC ASL LSR BIT CMP CPX CPY DEC EOR INC JMP JSR LDA LDX LDY ORA ROL
    // ROR SBC STA STX STY
    pair(0x25, 0x2D), pair(0x65, 0x6D), pair(0x06, 0x0E), pair(0x46, 0x4E), pair(0x24, 0x2C),
    pair(0xC5, 0xCD), pair(0xE4, 0xEC), pair(0xC4, 0xCC), pair(0xC6, 0xCE), pair(0x45, 0x4D),
    pair(0xE6, 0xEE), word(0x4C, 1), word(0x20, 1), pair(0xA5, 0xAD), pair(0xA6, 0xAE),
    pair(0xA4, 0xAC), pair(0x05, 0x0D), pair(0x26, 0x2E), pair(0x66, 0x6E), pair(0xE5, 0xED),
    pair(0x85, 0x8D), pair(0x86, 0x8E), pair(0x84, 0x8C),
    // 92-99 branches: BCC BCS BEQ BNE BMI BPL BVC BVS
    branch(0x90), branch(0xB0), branch(0xF0), branch(0xD0), branch(0x30), branch(0x10),
    branch(0x50), branch(0x70),
    // 100-115 expr,X: AND ADC ASL LSR CMP DEC EOR INC LDA LDY ORA ROL ROR SBC STA STY
    pair(0x35, 0x3D), pair(0x75, 0x7D), pair(0x16, 0x1E), pair(0x56, 0x5E), pair(0xD5, 0xDD),
    pair(0xD6, 0xDE), pair(0x55, 0x5D), pair(0xF6, 0xFE), pair(0xB5, 0xBD), pair(0xB4, 0xBC),
    pair(0x15, 0x1D), pair(0x36, 0x3E), pair(0x76, 0x7E), pair(0xF5, 0xFD), pair(0x95, 0x9D),
    byte(0x94, 1),
    // 116-125 expr,Y: AND ADC CMP EOR LDA LDX ORA SBC STA STX
    word(0x39, 1), word(0x79, 1), word(0xD9, 1), word(0x59, 1), word(0xB9, 1), pair(0xB6, 0xBE),
    word(0x19, 1), word(0xF9, 1), word(0x99, 1), byte(0x96, 1),
    // 126-133 (expr,X): AND ADC CMP EOR LDA ORA SBC STA
    byte(0x21, 2), byte(0x61, 2), byte(0xC1, 2), byte(0x41, 2), byte(0xA1, 2), byte(0x01, 2),
    byte(0xE1, 2), byte(0x81, 2),
    // 134-141 (expr),Y: AND ADC CMP EOR LDA ORA SBC STA
    byte(0x31, 2), byte(0x71, 2), byte(0xD1, 2), byte(0x51, 2), byte(0xB1, 2), byte(0x11, 2),
    byte(0xF1, 2), byte(0x91, 2),
    // 142 JMP (expr)
    word(0x6C, 2),
};

void instruction_action(int production, ParseValue* rhs) {
  const Instruction& ins = instructions[production - FIRST_INSTRUCTION];
  int pass = g->pass;
  Section* s = g->current_section;
  ExprValue operand = ins.operand ? rhs[ins.operand].expr : ExprValue{0, 0};
  switch (ins.emitter) {
    case EMIT_OPCODE: return emit_opcode(pass, ins.opcode, s);
    case EMIT_BYTE: return emit_byte_operand(pass, ins.opcode, operand, s);
    case EMIT_WORD: return emit_word_operand(pass, ins.opcode, operand, s);
    case EMIT_BRANCH: return emit_branch(pass, ins.opcode, operand, s);
    case EMIT_PAIR: return emit_zp_or_abs(ins.opcode, ins.absolute, operand);
  }
}

}  // namespace

ReplayStep replay_step_of(int production) {
  if (production >= FIRST_INSTRUCTION && production <= LAST_INSTRUCTION) {
    const Instruction& ins = instructions[production - FIRST_INSTRUCTION];
    switch (ins.emitter) {
      case EMIT_OPCODE: return {REPLAY_OPCODE, 0, ins.opcode, 0};
      case EMIT_BYTE: return {REPLAY_BYTE, ins.operand, ins.opcode, 0};
      case EMIT_WORD: return {REPLAY_WORD, ins.operand, ins.opcode, 0};
      case EMIT_BRANCH: return {REPLAY_BRANCH, ins.operand, ins.opcode, 0};
      case EMIT_PAIR: return {REPLAY_PAIR, ins.operand, ins.opcode, ins.absolute};
    }
  }
  switch (production) {
    case 8: return {REPLAY_CELLS, 0, 1, 0};
    case 9: return {REPLAY_CELLS, 0, 2, 0};
    case 10: return {REPLAY_CELLS, 0, 4, 0};
    case 15: return {REPLAY_APPEND, 0, 0, 0};
    case 16: return {REPLAY_ITEM_VALUE, 0, 0, 0};
    case 17: return {REPLAY_ITEM_STRING, 0, 0, 0};
    case 159: return {REPLAY_SYMBOL_VALUE, 0, 0, 0};
    case 160: return {REPLAY_NUMBER, 0, 0, 0};
    case 162: return {REPLAY_STRING, 0, 0, 0};
    case 163: case 164: case 165: return {REPLAY_INT, 0, 0, 0};
    case 167: return {REPLAY_SYMBOL, 0, 0, 0};
    default: return {REPLAY_ACTION, 0, static_cast<uint8_t>(production), 0};
  }
}

bool action_passes_value(int production) {
  switch (production) {
    case 14: case 145: case 147: case 150: case 154: case 155:
      return true;
    default:
      return false;
  }
}

namespace {

// An action with what the trace keeps of it: its record and the values it reads, or (kShape
// false, for a feed whose shape is known) the values only.
template <bool kShape>
void action(int production, ParseValue* rhs) {
  run_action(production, rhs);
  if (!g->trace.recording) return;
  if (kShape) trace_action(production, rhs);
  else trace_action_values(production, rhs);
}

// The common operands, an identifier and a number, taken straight to their value.
template <bool kShape>
void operand_action(int first, int second, ParseValue* top) {
  bool recording = g->trace.recording;
  if (second == 159 && first == 167) {
    Symbol* sym = symbol_reference(top->text);
    top->expr = symbol_value(sym);
    if (recording) {
      if (kShape) {
        trace_symbol(top, sym);
        trace_action(159, top);
      } else {
        trace_value(sym ? sym->number + 1 : 0);
      }
    }
    return;
  }
  if (second == 160) {
    int32_t n;
    switch (first) {
      case 163: n = decimal_literal(top->text); break;
      case 164: n = hex_literal(top->text); break;
      case 165: n = char_literal(top->text); break;
      default:
        action<kShape>(first, top);
        action<kShape>(second, top);
        return;
    }
    top->expr = expr_number(n);
    if (recording) {
      if (kShape) {
        trace_literal(first, top, n);
        trace_action(160, top);
      } else {
        trace_value(trace_zigzag(n));
      }
    }
    return;
  }
  action<kShape>(first, top);
  if (second) action<kShape>(second, top);
}

}  // namespace

void perform_operand(int first, int second, ParseValue* top) { operand_action<true>(first, second, top); }
void perform_operand_values(int first, int second, ParseValue* top) { operand_action<false>(first, second, top); }

void reduction_action(int production) { perform_action(production, &g->parser.value_stack[g->parser.depth]); }

void perform_action(int production, ParseValue* rhs) { action<true>(production, rhs); }
void perform_action_values(int production, ParseValue* rhs) { action<false>(production, rhs); }

void run_action(int production, ParseValue* rhs) {
  ParseValue& base = rhs[0];
  int pass = g->pass;
  if (production >= FIRST_INSTRUCTION && production <= LAST_INSTRUCTION) {
    g->statement_pos = base.pos;
    return instruction_action(production, rhs);
  }
  if ((production >= 8 && production <= 11) || production == 166) g->statement_pos = base.pos;
  switch (production) {
    case 8: return directive_db(pass, rhs[2].list, g->current_section);
    case 9: return directive_dw(pass, rhs[2].list, g->current_section);
    case 10: return directive_dl(pass, rhs[2].list, g->current_section);
    case 11: return directive_ds(pass, rhs[2].expr, g->current_section);
    case 12: return section_statement(pass, rhs[2].string, &rhs[4].expr);
    case 13: return section_statement(pass, rhs[2].string, nullptr);
    case 15: base.list = data_list_append(base.list, rhs[2].list); return;
    case 16: {
      ExprValue v = base.expr;
      base.list = data_item_value(v);
      return;
    }
    case 17: {
      const char* text = base.string;
      base.list = data_item_string(text);
      return;
    }
    case 143: base.expr = expr_and(base.expr, rhs[2].expr); return;
    case 144: base.expr = expr_or(base.expr, rhs[2].expr); return;
    case 146: base.expr = expr_xor(base.expr, rhs[2].expr); return;
    case 148: base.expr = expr_add(base.expr, rhs[2].expr); return;
    case 149: base.expr = expr_sub(base.expr, rhs[2].expr); return;
    case 151: base.expr = expr_mul(base.expr, rhs[2].expr); return;
    case 152: base.expr = expr_div(base.expr, rhs[2].expr); return;
    case 153: base.expr = expr_mod(base.expr, rhs[2].expr); return;
    case 156: base.expr = expr_negate(rhs[1].expr); return;
    case 157: base.expr = expr_low_byte(rhs[1].expr); return;
    case 158: base.expr = expr_high_byte(rhs[1].expr); return;
    case 159: {
      Symbol* sym = base.symbol;
      base.expr = symbol_value(sym);
      return;
    }
    case 160: {
      int32_t n = base.integer;
      base.expr = expr_number(n);
      return;
    }
    case 161: base.expr = rhs[1].expr; return;
    case 162: base.string = string_literal(base.text); return;
    case 163: base.integer = decimal_literal(base.text); return;
    case 164: base.integer = hex_literal(base.text); return;
    case 165: base.integer = char_literal(base.text); return;
    case 166: {
      Symbol* sym = base.symbol;
      base.expr = label_define(pass, sym, g->current_section);
      return;
    }
    case 167: base.symbol = symbol_reference(base.text); return;
    default:
      // 14, 145, 147, 150, 154, 155: the value passes on as it is.
      return;
  }
}
