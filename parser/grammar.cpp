// The grammar of the assembly language as data: its 117 symbols, its 168 productions and
// the map from the scanner's token codes to terminals.
#include "parser/grammar.h"

#include <string_view>

#include "source/tokens.h"

namespace {

// Symbol numbers, in order of first appearance in the grammar. N_ marks a nonterminal,
// T_ a terminal.
enum Sym : uint8_t {
  N_GOAL = 0,
  N_TOLV = 1,
  N_STATEMENT_LIST = 2,
  T_EOF = 3,
  N_STATEMENT = 4,
  N_DIRECTIVE = 5,
  N_CODE = 6,
  N_LABLE = 7,
  T_DOT = 8,
  T_ORG = 9,
  N_EXPR = 10,
  T_DB = 11,
  N_DBLIST = 12,
  T_DW = 13,
  T_DL = 14,
  T_DS = 15,
  T_SECTIONTOK = 16,
  N_STRING = 17,
  T_COMMA = 18,
  N_DBOBJ = 19,
  N_ACCUMULATOR = 20,
  N_IMPLIED = 21,
  N_IMMEDIATE = 22,
  N_ABSOLUTE = 23,
  N_RELATIVE = 24,
  N_ABSOLUTEX = 25,
  N_ABSOLUTEY = 26,
  N_INDIRECTX = 27,
  N_INDIRECTY = 28,
  N_INDIRECT = 29,
  T_ASL = 30,
  T_ACCUM = 31,
  T_LSR = 32,
  T_ROL = 33,
  T_ROR = 34,
  T_PLA = 35,
  T_PHA = 36,
  T_PLP = 37,
  T_PHP = 38,
  T_TXA = 39,
  T_TAX = 40,
  T_TAY = 41,
  T_TYA = 42,
  T_TXS = 43,
  T_TSX = 44,
  T_BRK = 45,
  T_INX = 46,
  T_INY = 47,
  T_DEX = 48,
  T_DEY = 49,
  T_RTS = 50,
  T_RTI = 51,
  T_CLC = 52,
  T_SEC = 53,
  T_SED = 54,
  T_SEI = 55,
  T_CLD = 56,
  T_CLI = 57,
  T_CLV = 58,
  T_NOP = 59,
  T_AND = 60,
  T_HASH = 61,
  T_ADC = 62,
  T_BIT = 63,
  T_CMP = 64,
  T_CPX = 65,
  T_CPY = 66,
  T_EOR = 67,
  T_LDA = 68,
  T_LDX = 69,
  T_LDY = 70,
  T_ORA = 71,
  T_SBC = 72,
  T_DEC = 73,
  T_INC = 74,
  T_JMP = 75,
  T_JSR = 76,
  T_STA = 77,
  T_STX = 78,
  T_STY = 79,
  T_BCC = 80,
  T_BCS = 81,
  T_BEQ = 82,
  T_BNE = 83,
  T_BMI = 84,
  T_BPL = 85,
  T_BVC = 86,
  T_BVS = 87,
  T_XREG = 88,
  T_YREG = 89,
  T_LPAREN = 90,
  T_RPAREN = 91,
  T_AMP = 92,
  N_XOREXP = 93,
  T_BAR = 94,
  T_CARET = 95,
  N_ARITH = 96,
  T_PLUS = 97,
  N_MULEXP = 98,
  T_MINUS = 99,
  T_STAR = 100,
  N_UNARY = 101,
  T_SLASH = 102,
  T_PERCENT = 103,
  N_PRIMARY = 104,
  T_GREATER = 105,
  T_LESS = 106,
  N_IDENT = 107,
  N_NUMBER = 108,
  T_LBRACKET = 109,
  T_RBRACKET = 110,
  T_STRING = 111,
  T_NUMBER = 112,
  T_HEX_NUMBER = 113,
  T_CHAR_CONSTANT = 114,
  T_COLON = 115,
  T_IDENT = 116,
};

}  // namespace

// constexpr, like the terminal map below, so that the checks at the end of this file can
// read them at compile time.
constexpr const char* grammar_symbol_name[SYMBOL_COUNT] = {
  "tolv", "tolv", "statement list", "eof", "statement", "directive", "code", "lable",
  "'.'", "ORG", "expr", "DB", "DBlist", "DW", "DL", "DS", "SECTIONTOK", "String", "','",
  "DBobj", "Accumulator", "Implied", "Immediate", "Absolute", "Relative", "AbsoluteX",
  "AbsoluteY", "IndirectX", "IndirectY", "Indirect", "ASL", "ACCUM", "LSR", "ROL", "ROR",
  "PLA", "PHA", "PLP", "PHP", "TXA", "TAX", "TAY", "TYA", "TXS", "TSX", "BRK", "INX",
  "INY", "DEX", "DEY", "RTS", "RTI", "CLC", "SEC", "SED", "SEI", "CLD", "CLI", "CLV",
  "NOP", "AND", "'#'", "ADC", "BIT", "CMP", "CPX", "CPY", "EOR", "LDA", "LDX", "LDY",
  "ORA", "SBC", "DEC", "INC", "JMP", "JSR", "STA", "STX", "STY", "BCC", "BCS", "BEQ",
  "BNE", "BMI", "BPL", "BVC", "BVS", "XREG", "YREG", "'('", "')'", "'&'", "xorexp", "'|'",
  "'^'", "arith", "'+'", "mulexp", "'-'", "'*'", "unary", "'/'", "'%'", "primary", "'>'",
  "'<'", "Ident", "Number", "'['", "']'", "STRING", "NUMBER", "HEX_NUMBER",
  "CHAR_CONSTANT", "':'", "IDENT",
};

// has_action is 0 for the goal production, the statement-level productions without meaning of
// their own (1 to 7) and the ten unit productions of `code` (18 to 27); every other production
// runs reduction_action, including those that only pass a value on.
const GrammarProduction grammar_productions[PRODUCTION_COUNT] = {
    // Goal
    {N_GOAL, 1, {N_TOLV}, 0},  // 0: tolv -> tolv
    // Statements
    {N_TOLV, 2, {N_STATEMENT_LIST, T_EOF}, 0},  // 1: tolv -> statement list eof
    {N_STATEMENT_LIST, 1, {N_STATEMENT}, 0},  // 2: statement list -> statement
    {N_STATEMENT_LIST, 2, {N_STATEMENT_LIST, N_STATEMENT}, 0},  // 3: statement list -> statement list statement
    {N_STATEMENT, 1, {N_DIRECTIVE}, 0},  // 4: statement -> directive
    {N_STATEMENT, 1, {N_CODE}, 0},  // 5: statement -> code
    {N_STATEMENT, 1, {N_LABLE}, 0},  // 6: statement -> lable
    {N_DIRECTIVE, 3, {T_DOT, T_ORG, N_EXPR}, 0},  // 7: directive -> '.' ORG expr
    {N_DIRECTIVE, 3, {T_DOT, T_DB, N_DBLIST}, 1},  // 8: directive -> '.' DB DBlist
    {N_DIRECTIVE, 3, {T_DOT, T_DW, N_DBLIST}, 1},  // 9: directive -> '.' DW DBlist
    {N_DIRECTIVE, 3, {T_DOT, T_DL, N_DBLIST}, 1},  // 10: directive -> '.' DL DBlist
    {N_DIRECTIVE, 3, {T_DOT, T_DS, N_EXPR}, 1},  // 11: directive -> '.' DS expr
    {N_DIRECTIVE, 5, {T_DOT, T_SECTIONTOK, N_STRING, T_COMMA, N_EXPR}, 1},  // 12: directive -> '.' SECTIONTOK String ',' expr
    {N_DIRECTIVE, 3, {T_DOT, T_SECTIONTOK, N_STRING}, 1},  // 13: directive -> '.' SECTIONTOK String
    {N_DBLIST, 1, {N_DBOBJ}, 1},  // 14: DBlist -> DBobj
    {N_DBLIST, 3, {N_DBLIST, T_COMMA, N_DBOBJ}, 1},  // 15: DBlist -> DBlist ',' DBobj
    {N_DBOBJ, 1, {N_EXPR}, 1},  // 16: DBobj -> expr
    {N_DBOBJ, 1, {N_STRING}, 1},  // 17: DBobj -> String
    {N_CODE, 1, {N_ACCUMULATOR}, 0},  // 18: code -> Accumulator
    {N_CODE, 1, {N_IMPLIED}, 0},  // 19: code -> Implied
    {N_CODE, 1, {N_IMMEDIATE}, 0},  // 20: code -> Immediate
    {N_CODE, 1, {N_ABSOLUTE}, 0},  // 21: code -> Absolute
    {N_CODE, 1, {N_RELATIVE}, 0},  // 22: code -> Relative
    {N_CODE, 1, {N_ABSOLUTEX}, 0},  // 23: code -> AbsoluteX
    {N_CODE, 1, {N_ABSOLUTEY}, 0},  // 24: code -> AbsoluteY
    {N_CODE, 1, {N_INDIRECTX}, 0},  // 25: code -> IndirectX
    {N_CODE, 1, {N_INDIRECTY}, 0},  // 26: code -> IndirectY
    {N_CODE, 1, {N_INDIRECT}, 0},  // 27: code -> Indirect
    // Instructions: accumulator
    {N_ACCUMULATOR, 2, {T_ASL, T_ACCUM}, 1},  // 28: Accumulator -> ASL ACCUM
    {N_ACCUMULATOR, 2, {T_LSR, T_ACCUM}, 1},  // 29: Accumulator -> LSR ACCUM
    {N_ACCUMULATOR, 2, {T_ROL, T_ACCUM}, 1},  // 30: Accumulator -> ROL ACCUM
    {N_ACCUMULATOR, 2, {T_ROR, T_ACCUM}, 1},  // 31: Accumulator -> ROR ACCUM
    // Implied
    {N_IMPLIED, 1, {T_PLA}, 1},  // 32: Implied -> PLA
    {N_IMPLIED, 1, {T_PHA}, 1},  // 33: Implied -> PHA
    {N_IMPLIED, 1, {T_PLP}, 1},  // 34: Implied -> PLP
    {N_IMPLIED, 1, {T_PHP}, 1},  // 35: Implied -> PHP
    {N_IMPLIED, 1, {T_TXA}, 1},  // 36: Implied -> TXA
    {N_IMPLIED, 1, {T_TAX}, 1},  // 37: Implied -> TAX
    {N_IMPLIED, 1, {T_TAY}, 1},  // 38: Implied -> TAY
    {N_IMPLIED, 1, {T_TYA}, 1},  // 39: Implied -> TYA
    {N_IMPLIED, 1, {T_TXS}, 1},  // 40: Implied -> TXS
    {N_IMPLIED, 1, {T_TSX}, 1},  // 41: Implied -> TSX
    {N_IMPLIED, 1, {T_BRK}, 1},  // 42: Implied -> BRK
    {N_IMPLIED, 1, {T_INX}, 1},  // 43: Implied -> INX
    {N_IMPLIED, 1, {T_INY}, 1},  // 44: Implied -> INY
    {N_IMPLIED, 1, {T_DEX}, 1},  // 45: Implied -> DEX
    {N_IMPLIED, 1, {T_DEY}, 1},  // 46: Implied -> DEY
    {N_IMPLIED, 1, {T_RTS}, 1},  // 47: Implied -> RTS
    {N_IMPLIED, 1, {T_RTI}, 1},  // 48: Implied -> RTI
    {N_IMPLIED, 1, {T_CLC}, 1},  // 49: Implied -> CLC
    {N_IMPLIED, 1, {T_SEC}, 1},  // 50: Implied -> SEC
    {N_IMPLIED, 1, {T_SED}, 1},  // 51: Implied -> SED
    {N_IMPLIED, 1, {T_SEI}, 1},  // 52: Implied -> SEI
    {N_IMPLIED, 1, {T_CLD}, 1},  // 53: Implied -> CLD
    {N_IMPLIED, 1, {T_CLI}, 1},  // 54: Implied -> CLI
    {N_IMPLIED, 1, {T_CLV}, 1},  // 55: Implied -> CLV
    {N_IMPLIED, 1, {T_NOP}, 1},  // 56: Implied -> NOP
    // Immediate
    {N_IMMEDIATE, 3, {T_AND, T_HASH, N_EXPR}, 1},  // 57: Immediate -> AND '#' expr
    {N_IMMEDIATE, 3, {T_ADC, T_HASH, N_EXPR}, 1},  // 58: Immediate -> ADC '#' expr
    {N_IMMEDIATE, 3, {T_BIT, T_HASH, N_EXPR}, 1},  // 59: Immediate -> BIT '#' expr
    {N_IMMEDIATE, 3, {T_CMP, T_HASH, N_EXPR}, 1},  // 60: Immediate -> CMP '#' expr
    {N_IMMEDIATE, 3, {T_CPX, T_HASH, N_EXPR}, 1},  // 61: Immediate -> CPX '#' expr
    {N_IMMEDIATE, 3, {T_CPY, T_HASH, N_EXPR}, 1},  // 62: Immediate -> CPY '#' expr
    {N_IMMEDIATE, 3, {T_EOR, T_HASH, N_EXPR}, 1},  // 63: Immediate -> EOR '#' expr
    {N_IMMEDIATE, 3, {T_LDA, T_HASH, N_EXPR}, 1},  // 64: Immediate -> LDA '#' expr
    {N_IMMEDIATE, 3, {T_LDX, T_HASH, N_EXPR}, 1},  // 65: Immediate -> LDX '#' expr
    {N_IMMEDIATE, 3, {T_LDY, T_HASH, N_EXPR}, 1},  // 66: Immediate -> LDY '#' expr
    {N_IMMEDIATE, 3, {T_ORA, T_HASH, N_EXPR}, 1},  // 67: Immediate -> ORA '#' expr
    {N_IMMEDIATE, 3, {T_SBC, T_HASH, N_EXPR}, 1},  // 68: Immediate -> SBC '#' expr
    // Absolute (zero page or absolute)
    {N_ABSOLUTE, 2, {T_AND, N_EXPR}, 1},  // 69: Absolute -> AND expr
    {N_ABSOLUTE, 2, {T_ADC, N_EXPR}, 1},  // 70: Absolute -> ADC expr
    {N_ABSOLUTE, 2, {T_ASL, N_EXPR}, 1},  // 71: Absolute -> ASL expr
    {N_ABSOLUTE, 2, {T_LSR, N_EXPR}, 1},  // 72: Absolute -> LSR expr
    {N_ABSOLUTE, 2, {T_BIT, N_EXPR}, 1},  // 73: Absolute -> BIT expr
    {N_ABSOLUTE, 2, {T_CMP, N_EXPR}, 1},  // 74: Absolute -> CMP expr
    {N_ABSOLUTE, 2, {T_CPX, N_EXPR}, 1},  // 75: Absolute -> CPX expr
    {N_ABSOLUTE, 2, {T_CPY, N_EXPR}, 1},  // 76: Absolute -> CPY expr
    {N_ABSOLUTE, 2, {T_DEC, N_EXPR}, 1},  // 77: Absolute -> DEC expr
    {N_ABSOLUTE, 2, {T_EOR, N_EXPR}, 1},  // 78: Absolute -> EOR expr
    {N_ABSOLUTE, 2, {T_INC, N_EXPR}, 1},  // 79: Absolute -> INC expr
    {N_ABSOLUTE, 2, {T_JMP, N_EXPR}, 1},  // 80: Absolute -> JMP expr
    {N_ABSOLUTE, 2, {T_JSR, N_EXPR}, 1},  // 81: Absolute -> JSR expr
    {N_ABSOLUTE, 2, {T_LDA, N_EXPR}, 1},  // 82: Absolute -> LDA expr
    {N_ABSOLUTE, 2, {T_LDX, N_EXPR}, 1},  // 83: Absolute -> LDX expr
    {N_ABSOLUTE, 2, {T_LDY, N_EXPR}, 1},  // 84: Absolute -> LDY expr
    {N_ABSOLUTE, 2, {T_ORA, N_EXPR}, 1},  // 85: Absolute -> ORA expr
    {N_ABSOLUTE, 2, {T_ROL, N_EXPR}, 1},  // 86: Absolute -> ROL expr
    {N_ABSOLUTE, 2, {T_ROR, N_EXPR}, 1},  // 87: Absolute -> ROR expr
    {N_ABSOLUTE, 2, {T_SBC, N_EXPR}, 1},  // 88: Absolute -> SBC expr
    {N_ABSOLUTE, 2, {T_STA, N_EXPR}, 1},  // 89: Absolute -> STA expr
    {N_ABSOLUTE, 2, {T_STX, N_EXPR}, 1},  // 90: Absolute -> STX expr
    {N_ABSOLUTE, 2, {T_STY, N_EXPR}, 1},  // 91: Absolute -> STY expr
    // Relative
    {N_RELATIVE, 2, {T_BCC, N_EXPR}, 1},  // 92: Relative -> BCC expr
    {N_RELATIVE, 2, {T_BCS, N_EXPR}, 1},  // 93: Relative -> BCS expr
    {N_RELATIVE, 2, {T_BEQ, N_EXPR}, 1},  // 94: Relative -> BEQ expr
    {N_RELATIVE, 2, {T_BNE, N_EXPR}, 1},  // 95: Relative -> BNE expr
    {N_RELATIVE, 2, {T_BMI, N_EXPR}, 1},  // 96: Relative -> BMI expr
    {N_RELATIVE, 2, {T_BPL, N_EXPR}, 1},  // 97: Relative -> BPL expr
    {N_RELATIVE, 2, {T_BVC, N_EXPR}, 1},  // 98: Relative -> BVC expr
    {N_RELATIVE, 2, {T_BVS, N_EXPR}, 1},  // 99: Relative -> BVS expr
    // Absolute,X
    {N_ABSOLUTEX, 4, {T_AND, N_EXPR, T_COMMA, T_XREG}, 1},  // 100: AbsoluteX -> AND expr ',' XREG
    {N_ABSOLUTEX, 4, {T_ADC, N_EXPR, T_COMMA, T_XREG}, 1},  // 101: AbsoluteX -> ADC expr ',' XREG
    {N_ABSOLUTEX, 4, {T_ASL, N_EXPR, T_COMMA, T_XREG}, 1},  // 102: AbsoluteX -> ASL expr ',' XREG
    {N_ABSOLUTEX, 4, {T_LSR, N_EXPR, T_COMMA, T_XREG}, 1},  // 103: AbsoluteX -> LSR expr ',' XREG
    {N_ABSOLUTEX, 4, {T_CMP, N_EXPR, T_COMMA, T_XREG}, 1},  // 104: AbsoluteX -> CMP expr ',' XREG
    {N_ABSOLUTEX, 4, {T_DEC, N_EXPR, T_COMMA, T_XREG}, 1},  // 105: AbsoluteX -> DEC expr ',' XREG
    {N_ABSOLUTEX, 4, {T_EOR, N_EXPR, T_COMMA, T_XREG}, 1},  // 106: AbsoluteX -> EOR expr ',' XREG
    {N_ABSOLUTEX, 4, {T_INC, N_EXPR, T_COMMA, T_XREG}, 1},  // 107: AbsoluteX -> INC expr ',' XREG
    {N_ABSOLUTEX, 4, {T_LDA, N_EXPR, T_COMMA, T_XREG}, 1},  // 108: AbsoluteX -> LDA expr ',' XREG
    {N_ABSOLUTEX, 4, {T_LDY, N_EXPR, T_COMMA, T_XREG}, 1},  // 109: AbsoluteX -> LDY expr ',' XREG
    {N_ABSOLUTEX, 4, {T_ORA, N_EXPR, T_COMMA, T_XREG}, 1},  // 110: AbsoluteX -> ORA expr ',' XREG
    {N_ABSOLUTEX, 4, {T_ROL, N_EXPR, T_COMMA, T_XREG}, 1},  // 111: AbsoluteX -> ROL expr ',' XREG
    {N_ABSOLUTEX, 4, {T_ROR, N_EXPR, T_COMMA, T_XREG}, 1},  // 112: AbsoluteX -> ROR expr ',' XREG
    {N_ABSOLUTEX, 4, {T_SBC, N_EXPR, T_COMMA, T_XREG}, 1},  // 113: AbsoluteX -> SBC expr ',' XREG
    {N_ABSOLUTEX, 4, {T_STA, N_EXPR, T_COMMA, T_XREG}, 1},  // 114: AbsoluteX -> STA expr ',' XREG
    {N_ABSOLUTEX, 4, {T_STY, N_EXPR, T_COMMA, T_XREG}, 1},  // 115: AbsoluteX -> STY expr ',' XREG
    // Absolute,Y
    {N_ABSOLUTEY, 4, {T_AND, N_EXPR, T_COMMA, T_YREG}, 1},  // 116: AbsoluteY -> AND expr ',' YREG
    {N_ABSOLUTEY, 4, {T_ADC, N_EXPR, T_COMMA, T_YREG}, 1},  // 117: AbsoluteY -> ADC expr ',' YREG
    {N_ABSOLUTEY, 4, {T_CMP, N_EXPR, T_COMMA, T_YREG}, 1},  // 118: AbsoluteY -> CMP expr ',' YREG
    {N_ABSOLUTEY, 4, {T_EOR, N_EXPR, T_COMMA, T_YREG}, 1},  // 119: AbsoluteY -> EOR expr ',' YREG
    {N_ABSOLUTEY, 4, {T_LDA, N_EXPR, T_COMMA, T_YREG}, 1},  // 120: AbsoluteY -> LDA expr ',' YREG
    {N_ABSOLUTEY, 4, {T_LDX, N_EXPR, T_COMMA, T_YREG}, 1},  // 121: AbsoluteY -> LDX expr ',' YREG
    {N_ABSOLUTEY, 4, {T_ORA, N_EXPR, T_COMMA, T_YREG}, 1},  // 122: AbsoluteY -> ORA expr ',' YREG
    {N_ABSOLUTEY, 4, {T_SBC, N_EXPR, T_COMMA, T_YREG}, 1},  // 123: AbsoluteY -> SBC expr ',' YREG
    {N_ABSOLUTEY, 4, {T_STA, N_EXPR, T_COMMA, T_YREG}, 1},  // 124: AbsoluteY -> STA expr ',' YREG
    {N_ABSOLUTEY, 4, {T_STX, N_EXPR, T_COMMA, T_YREG}, 1},  // 125: AbsoluteY -> STX expr ',' YREG
    // (expr,X)
    {N_INDIRECTX, 6, {T_AND, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 126: IndirectX -> AND '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_ADC, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 127: IndirectX -> ADC '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_CMP, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 128: IndirectX -> CMP '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_EOR, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 129: IndirectX -> EOR '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_LDA, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 130: IndirectX -> LDA '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_ORA, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 131: IndirectX -> ORA '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_SBC, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 132: IndirectX -> SBC '(' expr ',' XREG ')'
    {N_INDIRECTX, 6, {T_STA, T_LPAREN, N_EXPR, T_COMMA, T_XREG, T_RPAREN}, 1},  // 133: IndirectX -> STA '(' expr ',' XREG ')'
    // (expr),Y
    {N_INDIRECTY, 6, {T_AND, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 134: IndirectY -> AND '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_ADC, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 135: IndirectY -> ADC '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_CMP, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 136: IndirectY -> CMP '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_EOR, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 137: IndirectY -> EOR '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_LDA, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 138: IndirectY -> LDA '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_ORA, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 139: IndirectY -> ORA '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_SBC, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 140: IndirectY -> SBC '(' expr ')' ',' YREG
    {N_INDIRECTY, 6, {T_STA, T_LPAREN, N_EXPR, T_RPAREN, T_COMMA, T_YREG}, 1},  // 141: IndirectY -> STA '(' expr ')' ',' YREG
    // (expr)
    {N_INDIRECT, 4, {T_JMP, T_LPAREN, N_EXPR, T_RPAREN}, 1},  // 142: Indirect -> JMP '(' expr ')'
    // Expressions and literals
    {N_EXPR, 3, {N_EXPR, T_AMP, N_XOREXP}, 1},  // 143: expr -> expr '&' xorexp
    {N_EXPR, 3, {N_EXPR, T_BAR, N_XOREXP}, 1},  // 144: expr -> expr '|' xorexp
    {N_EXPR, 1, {N_XOREXP}, 1},  // 145: expr -> xorexp
    {N_XOREXP, 3, {N_XOREXP, T_CARET, N_ARITH}, 1},  // 146: xorexp -> xorexp '^' arith
    {N_XOREXP, 1, {N_ARITH}, 1},  // 147: xorexp -> arith
    {N_ARITH, 3, {N_ARITH, T_PLUS, N_MULEXP}, 1},  // 148: arith -> arith '+' mulexp
    {N_ARITH, 3, {N_ARITH, T_MINUS, N_MULEXP}, 1},  // 149: arith -> arith '-' mulexp
    {N_ARITH, 1, {N_MULEXP}, 1},  // 150: arith -> mulexp
    {N_MULEXP, 3, {N_MULEXP, T_STAR, N_UNARY}, 1},  // 151: mulexp -> mulexp '*' unary
    {N_MULEXP, 3, {N_MULEXP, T_SLASH, N_UNARY}, 1},  // 152: mulexp -> mulexp '/' unary
    {N_MULEXP, 3, {N_MULEXP, T_PERCENT, N_UNARY}, 1},  // 153: mulexp -> mulexp '%' unary
    {N_MULEXP, 1, {N_UNARY}, 1},  // 154: mulexp -> unary
    {N_UNARY, 1, {N_PRIMARY}, 1},  // 155: unary -> primary
    {N_UNARY, 2, {T_MINUS, N_UNARY}, 1},  // 156: unary -> '-' unary
    {N_UNARY, 2, {T_GREATER, N_UNARY}, 1},  // 157: unary -> '>' unary
    {N_UNARY, 2, {T_LESS, N_UNARY}, 1},  // 158: unary -> '<' unary
    {N_PRIMARY, 1, {N_IDENT}, 1},  // 159: primary -> Ident
    {N_PRIMARY, 1, {N_NUMBER}, 1},  // 160: primary -> Number
    {N_PRIMARY, 3, {T_LBRACKET, N_EXPR, T_RBRACKET}, 1},  // 161: primary -> '[' expr ']'
    {N_STRING, 1, {T_STRING}, 1},  // 162: String -> STRING
    {N_NUMBER, 1, {T_NUMBER}, 1},  // 163: Number -> NUMBER
    {N_NUMBER, 1, {T_HEX_NUMBER}, 1},  // 164: Number -> HEX_NUMBER
    {N_NUMBER, 1, {T_CHAR_CONSTANT}, 1},  // 165: Number -> CHAR_CONSTANT
    {N_LABLE, 2, {N_IDENT, T_COLON}, 1},  // 166: lable -> Ident ':'
    {N_IDENT, 1, {T_IDENT}, 1},  // 167: Ident -> IDENT
};

// Token code -> terminal. Punctuation characters are their own codes; keywords and token
// classes have the codes 256 to 327 (SVC, 303, and INCLUDE, 326, have no terminal).
constexpr uint8_t grammar_terminal_of_code[TOKEN_CODE_COUNT] = {
    /*   0 */ T_EOF, 0, 0, 0, 0, 0, 0, 0,
    /*   8 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  16 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  24 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  32 */ 0, 0, 0, T_HASH, 0, T_PERCENT, T_AMP, 0,
    /*  40 */ T_LPAREN, T_RPAREN, T_STAR, T_PLUS, T_COMMA, T_MINUS, T_DOT, T_SLASH,
    /*  48 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  56 */ 0, 0, T_COLON, 0, T_LESS, 0, T_GREATER, 0,
    /*  64 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  72 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  80 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /*  88 */ 0, 0, 0, T_LBRACKET, 0, T_RBRACKET, T_CARET, 0,
    /*  96 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 104 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 112 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 120 */ 0, 0, 0, 0, T_BAR, 0, 0, 0,
    /* 128 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 136 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 144 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 152 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 160 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 168 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 176 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 184 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 192 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 200 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 208 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 216 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 224 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 232 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 240 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 248 */ 0, 0, 0, 0, 0, 0, 0, 0,
    /* 256 */ T_ADC, T_AND, T_ASL, T_BCC, T_BCS, T_BEQ, T_BMI, T_BNE,
    /* 264 */ T_BPL, T_BVC, T_BVS, T_BIT, T_BRK, T_CLC, T_CLD, T_CLI,
    /* 272 */ T_CLV, T_CMP, T_CPX, T_CPY, T_DEC, T_DEX, T_DEY, T_EOR,
    /* 280 */ T_INC, T_INX, T_INY, T_JMP, T_JSR, T_LDA, T_LDX, T_LDY,
    /* 288 */ T_LSR, T_NOP, T_ORA, T_PHA, T_PLA, T_PHP, T_PLP, T_ROL,
    /* 296 */ T_ROR, T_RTI, T_RTS, T_STA, T_SEC, T_SED, T_SEI, 0,
    /* 304 */ T_STX, T_STY, T_SBC, T_TAX, T_TAY, T_TXA, T_TYA, T_TXS,
    /* 312 */ T_TSX, T_ACCUM, T_XREG, T_YREG, T_IDENT, T_STRING, T_NUMBER, T_ORG,
    /* 320 */ T_DB, T_DW, T_DL, T_DS, T_HEX_NUMBER, T_CHAR_CONSTANT, 0, T_SECTIONTOK,
};

namespace {

constexpr bool is_nonterminal(int symbol) {
  switch (symbol) {
    case N_GOAL:
    case N_TOLV:
    case N_STATEMENT_LIST:
    case N_STATEMENT:
    case N_DIRECTIVE:
    case N_CODE:
    case N_LABLE:
    case N_EXPR:
    case N_DBLIST:
    case N_STRING:
    case N_DBOBJ:
    case N_ACCUMULATOR:
    case N_IMPLIED:
    case N_IMMEDIATE:
    case N_ABSOLUTE:
    case N_RELATIVE:
    case N_ABSOLUTEX:
    case N_ABSOLUTEY:
    case N_INDIRECTX:
    case N_INDIRECTY:
    case N_INDIRECT:
    case N_XOREXP:
    case N_ARITH:
    case N_MULEXP:
    case N_UNARY:
    case N_PRIMARY:
    case N_IDENT:
    case N_NUMBER:
      return true;
    default:
      return false;
  }
}

// ---- Token codes, keywords and terminals agree ----

// The name of the terminal that `code` maps to, or "" when it maps to none (0).
constexpr std::string_view terminal_name(int code) {
  int t = grammar_terminal_of_code[code];
  return t == 0 ? std::string_view() : std::string_view(grammar_symbol_name[t]);
}

// The terminal a keyword must map to: its own spelling, except for the registers and
// SECTION; SVC and INCLUDE have none.
constexpr std::string_view keyword_terminal(std::string_view keyword) {
  if (keyword == "A") return "ACCUM";
  if (keyword == "X") return "XREG";
  if (keyword == "Y") return "YREG";
  if (keyword == "SECTION") return "SECTIONTOK";
  if (keyword == "SVC" || keyword == "INCLUDE") return {};
  return keyword;
}

constexpr bool keywords_map_to_their_terminals() {
  for (const Keyword& k : KEYWORDS)
    if (terminal_name(k.code) != keyword_terminal(k.spelling)) return false;
  return true;
}

// The 18 punctuation characters, each its own code, map to the terminal that quotes it.
constexpr char PUNCTUATION[] = "#%&()*+,-./:<>[]^|";

constexpr bool punctuation_maps_to_quoted_terminals() {
  for (const char* p = PUNCTUATION; *p; ++p) {
    const char quoted[] = {'\'', *p, '\'', '\0'};
    if (terminal_name(static_cast<unsigned char>(*p)) != quoted) return false;
  }
  return true;
}

constexpr bool is_punctuation_code(int code) {
  for (const char* p = PUNCTUATION; *p; ++p)
    if (code == static_cast<unsigned char>(*p)) return true;
  return false;
}

// Below 256 only end of input and punctuation have terminals.
constexpr bool other_characters_map_to_none() {
  for (int code = 1; code < 256; ++code)
    if (!is_punctuation_code(code) && grammar_terminal_of_code[code] != 0) return false;
  return true;
}

// Every terminal symbol is reached from exactly one code, and no code reaches a nonterminal.
constexpr bool map_is_one_to_one_onto_terminals() {
  int reached[SYMBOL_COUNT] = {};
  for (int code = 0; code < TOKEN_CODE_COUNT; ++code) {
    int t = grammar_terminal_of_code[code];
    if (t == 0) continue;
    if (t >= SYMBOL_COUNT || is_nonterminal(t)) return false;
    ++reached[t];
  }
  for (int s = 1; s < SYMBOL_COUNT; ++s)
    if (!is_nonterminal(s) && reached[s] != 1) return false;
  return true;
}

static_assert(terminal_name(TOK_EOF) == "eof");
static_assert(terminal_name(TOK_LDA) == "LDA" && terminal_name(TOK_A) == "ACCUM" &&
              terminal_name(TOK_SECTION) == "SECTIONTOK");
static_assert(grammar_terminal_of_code[TOK_SVC] == 0);
static_assert(grammar_terminal_of_code[TOK_INCLUDE] == 0);
static_assert(terminal_name(TOK_IDENT) == "IDENT" && terminal_name(TOK_STRING) == "STRING" &&
              terminal_name(TOK_NUMBER) == "NUMBER" &&
              terminal_name(TOK_HEX_NUMBER) == "HEX_NUMBER" &&
              terminal_name(TOK_CHAR_CONSTANT) == "CHAR_CONSTANT");
static_assert(terminal_name('#') == "'#'" && terminal_name('|') == "'|'");
static_assert(keywords_map_to_their_terminals());
static_assert(punctuation_maps_to_quoted_terminals());
static_assert(other_characters_map_to_none());
static_assert(map_is_one_to_one_onto_terminals());
static_assert(TOK_SECTION == TOKEN_CODE_COUNT - 1);

}  // namespace

bool grammar_is_nonterminal(int symbol) { return is_nonterminal(symbol); }
