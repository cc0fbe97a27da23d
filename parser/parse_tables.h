// The parse tables, generated at build time from the grammar (the generated file lives in
// the build tree). State 0 is the start state. The entries of state s lie in three runs:
//   [state_first[s], state_default[s])      terminal entries, descending symbol number
//   state_default[s]                         the default entry (symbol 0)
//   (state_default[s], state_first[s + 1])   goto entries, ascending symbol number
// state_first has parse_state_count + 1 elements; the last one is parse_entry_count.
#pragma once
#include <cstdint>

#include "parser/grammar.h"

// Action kinds of terminal entries (runs 1 and 2).
enum ActionKind : uint8_t {
  ACT_SHIFT = 1,              // shift; parameter: next state
  ACT_SHIFT_REDUCE = 2,       // shift, then reduce the production (with action)
  ACT_SHIFT_REDUCE_PLAIN = 3, // shift, then reduce the production (without action)
  ACT_REDUCE = 4,             // reduce the production (with action); the token stays
  ACT_REDUCE_PROVISIONAL = 5, // reduce the production (without action) provisionally
  ACT_ERROR = 7,              // syntax error
};

// Action kinds of goto entries (run 3).
enum GotoKind : uint8_t {
  GOTO_ACCEPT = 0,
  GOTO_STATE = 1,         // push the produced symbol; parameter: next state
  GOTO_REDUCE = 2,        // reduce the production at once (with action)
  GOTO_REDUCE_PLAIN = 3,  // reduce the production at once (without action)
};

extern const int parse_state_count;  // states kept after compression (195)
extern const int parse_entry_count;  // entries of all states
extern const int lr0_state_count;    // LR(0) states before compression (304)
extern const int lr0_single_count;   // of them, states of one completed production (109)

extern const uint8_t terminal_map[TOKEN_CODE_COUNT];
extern const uint16_t state_first[];    // parse_state_count + 1
extern const uint16_t state_default[];  // parse_state_count
extern const uint8_t entry_symbol[];
extern const uint8_t entry_kind[];
extern const uint8_t entry_param[];
extern const uint8_t rule_length[PRODUCTION_COUNT];
extern const uint8_t rule_left[PRODUCTION_COUNT];
extern const uint8_t rule_action[PRODUCTION_COUNT];  // 0: no action; 1: reduction_action runs
extern const char* const symbol_name[SYMBOL_COUNT];
