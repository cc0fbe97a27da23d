// Token codes: punctuation characters are their own codes, keywords and token classes
// lie in 256..327, and 0 is end of input. Also the keyword table, in lookup order.
#pragma once

#include <iterator>
#include <string_view>

enum TokenCode : int {
  TOK_EOF = 0,
  TOK_ADC = 256, TOK_AND, TOK_ASL, TOK_BCC, TOK_BCS, TOK_BEQ, TOK_BMI, TOK_BNE, TOK_BPL,
  TOK_BVC, TOK_BVS, TOK_BIT, TOK_BRK,
  TOK_CLC = 269, TOK_CLD, TOK_CLI, TOK_CLV, TOK_CMP, TOK_CPX, TOK_CPY, TOK_DEC, TOK_DEX,
  TOK_DEY, TOK_EOR, TOK_INC, TOK_INX, TOK_INY,
  TOK_JMP = 283, TOK_JSR, TOK_LDA, TOK_LDX, TOK_LDY, TOK_LSR, TOK_NOP, TOK_ORA, TOK_PHA,
  TOK_PLA, TOK_PHP, TOK_PLP, TOK_ROL, TOK_ROR, TOK_RTI, TOK_RTS,
  TOK_STA = 299, TOK_SEC, TOK_SED, TOK_SEI, TOK_SVC, TOK_STX, TOK_STY, TOK_SBC, TOK_TAX,
  TOK_TAY, TOK_TXA, TOK_TYA, TOK_TXS, TOK_TSX,
  TOK_A = 313, TOK_X, TOK_Y,
  TOK_IDENT = 316,
  TOK_STRING = 317,
  TOK_NUMBER = 318,
  TOK_ORG = 319, TOK_DB, TOK_DW, TOK_DL, TOK_DS,
  TOK_HEX_NUMBER = 324,
  TOK_CHAR_CONSTANT = 325,
  TOK_INCLUDE = 326,
  TOK_SECTION = 327,
};

struct Keyword {
  const char* spelling;
  int code;
};

// The keyword table in lookup order: the 56 mnemonics and SVC, the registers A, X and Y,
// the directive words, INCLUDE and SECTION. Each entry takes its spelling and its code from
// one and the same name, so the two cannot disagree. No end marker: use std::size.
#define XEXASM_KEYWORD(name) Keyword{#name, TOK_##name}
inline constexpr Keyword KEYWORDS[] = {
    XEXASM_KEYWORD(ADC), XEXASM_KEYWORD(AND), XEXASM_KEYWORD(ASL), XEXASM_KEYWORD(BCC),
    XEXASM_KEYWORD(BCS), XEXASM_KEYWORD(BEQ), XEXASM_KEYWORD(BMI), XEXASM_KEYWORD(BNE),
    XEXASM_KEYWORD(BPL), XEXASM_KEYWORD(BVC), XEXASM_KEYWORD(BVS), XEXASM_KEYWORD(BIT),
    XEXASM_KEYWORD(BRK), XEXASM_KEYWORD(CLC), XEXASM_KEYWORD(CLD), XEXASM_KEYWORD(CLI),
    XEXASM_KEYWORD(CLV), XEXASM_KEYWORD(CMP), XEXASM_KEYWORD(CPX), XEXASM_KEYWORD(CPY),
    XEXASM_KEYWORD(DEC), XEXASM_KEYWORD(DEX), XEXASM_KEYWORD(DEY), XEXASM_KEYWORD(EOR),
    XEXASM_KEYWORD(INC), XEXASM_KEYWORD(INX), XEXASM_KEYWORD(INY), XEXASM_KEYWORD(JMP),
    XEXASM_KEYWORD(JSR), XEXASM_KEYWORD(LDA), XEXASM_KEYWORD(LDX), XEXASM_KEYWORD(LDY),
    XEXASM_KEYWORD(LSR), XEXASM_KEYWORD(NOP), XEXASM_KEYWORD(ORA), XEXASM_KEYWORD(PHA),
    XEXASM_KEYWORD(PLA), XEXASM_KEYWORD(PHP), XEXASM_KEYWORD(PLP), XEXASM_KEYWORD(ROL),
    XEXASM_KEYWORD(ROR), XEXASM_KEYWORD(RTI), XEXASM_KEYWORD(RTS), XEXASM_KEYWORD(STA),
    XEXASM_KEYWORD(SEC), XEXASM_KEYWORD(SED), XEXASM_KEYWORD(SEI), XEXASM_KEYWORD(SVC),
    XEXASM_KEYWORD(STX), XEXASM_KEYWORD(STY), XEXASM_KEYWORD(SBC), XEXASM_KEYWORD(TAX),
    XEXASM_KEYWORD(TAY), XEXASM_KEYWORD(TXA), XEXASM_KEYWORD(TYA), XEXASM_KEYWORD(TXS),
    XEXASM_KEYWORD(TSX), XEXASM_KEYWORD(A),   XEXASM_KEYWORD(X),   XEXASM_KEYWORD(Y),
    XEXASM_KEYWORD(ORG), XEXASM_KEYWORD(DB),  XEXASM_KEYWORD(DW),  XEXASM_KEYWORD(DL),
    XEXASM_KEYWORD(DS),  XEXASM_KEYWORD(INCLUDE), XEXASM_KEYWORD(SECTION),
};
#undef XEXASM_KEYWORD

inline constexpr int KEYWORD_COUNT = static_cast<int>(std::size(KEYWORDS));

// The code of the keyword spelled `text` (exact, case-sensitive), or -1.
constexpr int keyword_code(std::string_view text) {
  for (const Keyword& k : KEYWORDS)
    if (text == k.spelling) return k.code;
  return -1;
}

namespace token_checks {

// The table's codes in table order: 256..315 (mnemonics, SVC, registers), then 319..323
// (directive words), 326 (INCLUDE) and 327 (SECTION). The codes between belong to the
// token classes, which have no keyword.
constexpr int expected_keyword_code(int index) {
  if (index < 60) return 256 + index;
  if (index < 65) return TOK_ORG + (index - 60);
  return index == 65 ? TOK_INCLUDE : TOK_SECTION;
}

constexpr bool keyword_codes_in_table_order() {
  for (int i = 0; i < KEYWORD_COUNT; ++i)
    if (KEYWORDS[i].code != expected_keyword_code(i)) return false;
  return true;
}

// Upper case letters only, and no spelling twice (the first equal entry is found).
constexpr bool keyword_spellings_distinct() {
  for (int i = 0; i < KEYWORD_COUNT; ++i) {
    std::string_view s = KEYWORDS[i].spelling;
    if (s.empty()) return false;
    for (char c : s)
      if (c < 'A' || c > 'Z') return false;
    if (keyword_code(s) != KEYWORDS[i].code) return false;
  }
  return true;
}

}  // namespace token_checks

static_assert(KEYWORD_COUNT == 67);
static_assert(token_checks::keyword_codes_in_table_order());
static_assert(token_checks::keyword_spellings_distinct());
static_assert(keyword_code("LDA") == TOK_LDA && keyword_code("SVC") == TOK_SVC &&
              keyword_code("A") == TOK_A && keyword_code("SECTION") == TOK_SECTION &&
              keyword_code("INCLUDE") == TOK_INCLUDE);
static_assert(keyword_code("lda") == -1 && keyword_code("LDAX") == -1 &&
              keyword_code("IDENT") == -1 && keyword_code("") == -1);
