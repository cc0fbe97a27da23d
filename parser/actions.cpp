// The semantic action of every production: the whole of the assembler's work.
#include "parser/actions.h"

#include <algorithm>
#include <cstdint>

#include "assembly/data.h"
#include "assembly/encode.h"
#include "assembly/expr.h"
#include "assembly/section.h"
#include "assembly/symbol.h"
#include "parse_productions.h"
#include "parser/grammar.h"
#include "parser/placements.h"

namespace {

enum Emitter : uint8_t { EMIT_OPCODE, EMIT_BYTE, EMIT_WORD, EMIT_BRANCH, EMIT_PAIR };

struct Instruction {
  Emitter emitter;
  uint8_t opcode;    // the zero-page opcode of a pair
  uint8_t absolute;  // the absolute opcode of a pair
  uint8_t operand;   // right-hand position of the operand expression
};

constexpr int FIRST_INSTRUCTION = FIRST_INSTRUCTION_PRODUCTION;
constexpr int LAST_INSTRUCTION = LAST_INSTRUCTION_PRODUCTION;

// An instruction's emitter and opcodes, by its addressing form: implied or accumulator,
// immediate, zero page or absolute as the value decides, absolute only, a byte operand
// only, relative; `at` is the operand's entry in the production's right side.
constexpr Instruction op(uint8_t opcode) { return {EMIT_OPCODE, opcode, 0, 0}; }
constexpr Instruction imm(uint8_t opcode) { return {EMIT_BYTE, opcode, 0, 2}; }
constexpr Instruction pair(uint8_t zp, uint8_t abs) { return {EMIT_PAIR, zp, abs, 1}; }
constexpr Instruction word(uint8_t opcode, uint8_t at) { return {EMIT_WORD, opcode, 0, at}; }
constexpr Instruction byte(uint8_t opcode, uint8_t at) { return {EMIT_BYTE, opcode, 0, at}; }
constexpr Instruction branch(uint8_t opcode) { return {EMIT_BRANCH, opcode, 0, 1}; }

// The instruction productions, in order: each with its emitter and opcodes.
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

static_assert(sizeof instructions / sizeof instructions[0] == LAST_INSTRUCTION - FIRST_INSTRUCTION + 1);

// The productions of each group of actions (the table below sorts every production once).
bool is_instruction(int production) { return production >= FIRST_INSTRUCTION && production <= LAST_INSTRUCTION; }

// mnemonic operand: the emitter of the production, with the operand's value.
void instruction_action(int production, ParseValue* rhs) {
  const Instruction& ins = instructions[production - FIRST_INSTRUCTION];
  int pass = g->pass;
  Section* s = g->sections->current;
  ExprValue operand = ins.operand ? rhs[ins.operand].expr : ExprValue{0, 0};
  switch (ins.emitter) {
    case EMIT_OPCODE: return emit_opcode(pass, ins.opcode, s);
    case EMIT_BYTE: return emit_byte_operand(pass, ins.opcode, operand, s);
    case EMIT_WORD: return emit_word_operand(pass, ins.opcode, operand, s);
    case EMIT_BRANCH: return emit_branch(pass, ins.opcode, operand, s);
    case EMIT_PAIR: return emit_zp_or_abs(ins.opcode, ins.absolute, operand);
  }
}

// The productions whose action `directive_action` carries out: data, reserve, sections and
// the data lists.
bool is_directive(int production) {
  switch (production) {
    case P_directive__DOT_DB_DBlist: case P_directive__DOT_DW_DBlist: case P_directive__DOT_DL_DBlist:
    case P_directive__DOT_DS_expr: case P_directive__DOT_SECTIONTOK_String_COMMA_expr:
    case P_directive__DOT_SECTIONTOK_String: case P_DBlist__DBlist_COMMA_DBobj: case P_DBobj__expr:
    case P_DBobj__String:
      return true;
    default:
      return false;
  }
}

// The productions whose action `operator_action` carries out: the operators and brackets.
bool is_operator(int production) {
  switch (production) {
    case P_expr__expr_AMP_xorexp: case P_expr__expr_BAR_xorexp: case P_xorexp__xorexp_CARET_arith:
    case P_arith__arith_PLUS_mulexp: case P_arith__arith_MINUS_mulexp: case P_mulexp__mulexp_STAR_unary:
    case P_mulexp__mulexp_SLASH_unary: case P_mulexp__mulexp_PERCENT_unary: case P_unary__MINUS_unary:
    case P_unary__GREATER_unary: case P_unary__LESS_unary: case P_primary__LBRACKET_expr_RBRACKET:
      return true;
    default:
      return false;
  }
}

// directive: '.' DB/DW/DL DBlist, '.' DS expr, '.' SECTION String [',' expr]; the data
// lists. Returns false for a production that is not one of them.
bool directive_action(int production, ParseValue* base) {
  ParseValue* rhs = base;
  int pass = g->pass;
  Section* current = g->sections->current;
  switch (production) {
    case P_directive__DOT_DB_DBlist: return directive_db(pass, rhs[2].list, current), true;
    case P_directive__DOT_DW_DBlist: return directive_dw(pass, rhs[2].list, current), true;
    case P_directive__DOT_DL_DBlist: return directive_dl(pass, rhs[2].list, current), true;
    case P_directive__DOT_DS_expr: return directive_ds(pass, rhs[2].expr, current), true;
    case P_directive__DOT_SECTIONTOK_String_COMMA_expr: return section_statement(pass, rhs[2].string, &rhs[4].expr), true;
    case P_directive__DOT_SECTIONTOK_String: return section_statement(pass, rhs[2].string, nullptr), true;
    case P_DBlist__DBlist_COMMA_DBobj: base->list = data_list_append(base->list, rhs[2].list); return true;
    case P_DBobj__expr: {
      ExprValue v = base->expr;
      base->list = data_item_value(v);
      return true;
    }
    case P_DBobj__String: {
      const char* text = base->string;
      base->list = data_item_string(text);
      return true;
    }
    default: return false;
  }
}

// The operators of the expression levels, and brackets.
bool operator_action(int production, ParseValue* base) {
  ParseValue* rhs = base;
  switch (production) {
    case P_expr__expr_AMP_xorexp: base->expr = expr_and(base->expr, rhs[2].expr); return true;
    case P_expr__expr_BAR_xorexp: base->expr = expr_or(base->expr, rhs[2].expr); return true;
    case P_xorexp__xorexp_CARET_arith: base->expr = expr_xor(base->expr, rhs[2].expr); return true;
    case P_arith__arith_PLUS_mulexp: base->expr = expr_add(base->expr, rhs[2].expr); return true;
    case P_arith__arith_MINUS_mulexp: base->expr = expr_sub(base->expr, rhs[2].expr); return true;
    case P_mulexp__mulexp_STAR_unary: base->expr = expr_mul(base->expr, rhs[2].expr); return true;
    case P_mulexp__mulexp_SLASH_unary:
      g->operand_pos = rhs[2].pos;
      base->expr = expr_div(base->expr, rhs[2].expr);
      return true;
    case P_mulexp__mulexp_PERCENT_unary:
      g->operand_pos = rhs[2].pos;
      base->expr = expr_mod(base->expr, rhs[2].expr);
      return true;
    case P_unary__MINUS_unary: base->expr = expr_negate(rhs[1].expr); return true;
    case P_unary__GREATER_unary: base->expr = expr_low_byte(rhs[1].expr); return true;
    case P_unary__LESS_unary: base->expr = expr_high_byte(rhs[1].expr); return true;
    case P_primary__LBRACKET_expr_RBRACKET: base->expr = rhs[1].expr; return true;
    default: return false;
  }
}

// The tokens that carry a value (literals, identifiers) and what is made of them: numbers,
// strings, symbols, their values, and labels.
void operand_action(int production, ParseValue* base) {
  switch (production) {
    case P_String__STRING: base->string = string_literal(base->text); return;
    case P_Number__NUMBER: base->integer = decimal_literal(base->text); return;
    case P_Number__HEX_NUMBER: base->integer = hex_literal(base->text); return;
    case P_Number__CHAR_CONSTANT: base->integer = char_literal(base->text); return;
    case P_Ident__IDENT:
      g->operand_pos = base->pos;
      base->symbol = symbol_reference(base->text);
      return;
    case P_primary__Ident: {
      Symbol* sym = base->symbol;
      g->operand_pos = base->pos;
      base->expr = symbol_value(sym);
      return;
    }
    case P_primary__Number: {
      int32_t n = base->integer;
      base->expr = expr_number(n);
      return;
    }
    case P_lable__Ident_COLON: {
      Symbol* sym = base->symbol;
      base->expr = label_define(g->pass, sym, g->sections->current);
      return;
    }
    default:
      // The others pass the first symbol's value on as it is, or have no action.
      return;
  }
}

// `.SECTION "name",start` and `.SECTION "name"`: they select a section (and may start it).
bool is_section_statement(int production) {
  return production == P_directive__DOT_SECTIONTOK_String_COMMA_expr || production == P_directive__DOT_SECTIONTOK_String;
}

// Whether the production completes a statement whose messages point at its first token
// (code, data, labels, sections), and which the listing shows.
bool starts_statement(int production) {
  return is_instruction(production) || production == P_directive__DOT_DB_DBlist ||
         production == P_directive__DOT_DW_DBlist || production == P_directive__DOT_DL_DBlist ||
         production == P_directive__DOT_DS_expr || production == P_lable__Ident_COLON || is_section_statement(production);
}

// Which of the functions above carries out each production's action, worked out once.
enum ActionGroup : uint8_t { GROUP_NONE, GROUP_INSTRUCTION, GROUP_DIRECTIVE, GROUP_OPERATOR, GROUP_OPERAND };
struct ActionGroups {
  ActionGroup of[PRODUCTION_COUNT];
  bool statement[PRODUCTION_COUNT];
  ActionGroups() {
    for (int q = 0; q < PRODUCTION_COUNT; q++) {
      statement[q] = starts_statement(q);
      if (is_instruction(q)) of[q] = GROUP_INSTRUCTION;
      else if (is_directive(q)) of[q] = GROUP_DIRECTIVE;
      else if (is_operator(q)) of[q] = GROUP_OPERATOR;
      else of[q] = GROUP_OPERAND;
    }
  }
};
const ActionGroups groups;

}  // namespace

namespace {

// A production's action, through the function of its group.
void action_of_group(int production, ParseValue* base) {
  switch (groups.of[production]) {
    case GROUP_INSTRUCTION: return instruction_action(production, base);
    case GROUP_DIRECTIVE: directive_action(production, base); return;
    case GROUP_OPERATOR: operator_action(production, base); return;
    default: return operand_action(production, base);
  }
}

// What a statement places, as the listing shows it.
PlacementKind placement_kind(int production) {
  if (is_section_statement(production)) return PLACED_SECTION;
  if (production == P_directive__DOT_DS_expr) return PLACED_SPACE;
  if (production == P_lable__Ident_COLON) return PLACED_LABEL;
  return PLACED_BYTES;
}

// A statement when a listing is written: pass 1 notes where it begins, pass 2 what it
// placed where (as the statement of the same number).
[[gnu::noinline]] void placed_statement(int production, ParseValue* base) {
  Placements& placed = *g->placements;
  bool first_pass = g->pass != 2;
  size_t number = placed.counters.size();  // in pass 2, the statement's
  // Pass 1 notes where each statement begins; pass 2 where those begin that it makes beyond
  // pass 1's (the source changed since).
  if (first_pass || number >= placed.lines.size()) placed.statement_begun(g->statement_pos, placement_kind(production));
  const Section* before = g->sections->current;
  int32_t from = before ? before->location_counter : 0;
  // The messages of its action are the statement's (its number, until it is done).
  action_of_group(production, base);
  if (g->statement_number < UINT32_MAX) g->statement_number++;
  if (first_pass) return;
  if (number == 0) {
    // Room for as many bytes as the sections hold.
    size_t bytes = 0;
    table_visit(g->sections->table, [&](void* s) { bytes += static_cast<size_t>(static_cast<Section*>(s)->size); });
    placed.bytes.reserve(bytes);
  }
  placed.statement_placed(g->sections->current, from);
}

}  // namespace

void reduction_action(int production, ParseValue* base) {
  if (groups.statement[production]) {
    g->statement_pos = base->pos;
    if (g->placements) [[unlikely]] return placed_statement(production, base);
  }
  action_of_group(production, base);
}

bool is_statement_production(int production) { return starts_statement(production); }

bool action_passes_value(int production) {
  switch (production) {
    case P_DBlist__DBobj:
    case P_expr__xorexp:
    case P_xorexp__arith:
    case P_arith__mulexp:
    case P_mulexp__unary:
    case P_unary__primary:
      return true;
    default:
      return false;
  }
}
