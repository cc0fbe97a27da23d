// The grammar of the assembly language as data: symbols, productions and the map from
// token codes to terminals. Shared by the parse-table generator (tools/) and the assembler.
#pragma once
#include <cstdint>

constexpr int SYMBOL_COUNT = 117;      // grammar symbols 0..116
constexpr int PRODUCTION_COUNT = 168;  // productions 0..167; 0 is the goal production
constexpr int TOKEN_CODE_COUNT = 328;  // token codes 0..327
constexpr int MAX_RIGHT = 6;           // longest right side

// One production of the grammar. (The generated parse_productions.h names the productions
// in an enum Production, hence the longer name here.)
struct GrammarProduction {
  uint8_t left;              // symbol number of the left side
  uint8_t length;            // number of right-hand symbols (at least 1)
  uint8_t right[MAX_RIGHT];  // right-hand symbol numbers, length of them used
  uint8_t has_action;        // 1 when reduction_action must run for it
};

// Symbol names exactly as the diagnostics print them (quotes included: "','").
extern const char* const grammar_symbol_name[SYMBOL_COUNT];
// Productions 0..167 in their numbered order.
extern const GrammarProduction grammar_productions[PRODUCTION_COUNT];
// Token code -> terminal symbol number; 0 for a code without a terminal.
extern const uint8_t grammar_terminal_of_code[TOKEN_CODE_COUNT];
// True for the nonterminals (0, 1, 2, 4, 5, 6, 7, 10, 12, 17, 19, 20..29, 93, 96, 98, 101,
// 104, 107, 108).
bool grammar_is_nonterminal(int symbol);

// Symbol numbers that the engine and the actions name.
enum GrammarSymbol : uint8_t {
  SYM_GOAL = 0,
  SYM_TOLV = 1,
  SYM_STATEMENT_LIST = 2,
  SYM_EOF = 3,
};
