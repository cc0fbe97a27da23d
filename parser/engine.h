// The table-driven LALR(1) engine, in push mode: it is handed one token at a time.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "assembly/data.h"
#include "assembly/expr.h"
#include "assembly/symbol.h"
#include "source/reader.h"
#include "source/scanner.h"

constexpr int PARSER_STACK_LIMIT = 128;

enum ParserStatus : int { PARSE_RUNNING = 0, PARSE_ACCEPTED = 1, PARSE_SYNTAX_ERROR = 2, PARSE_OVERFLOW = 4 };

// One stack entry: what the symbol holds, the text of a shifted token, and the position of
// the entry's first token.
struct ParseValue {
  union {
    int32_t code;        // terminals
    int32_t integer;     // Number
    Symbol* symbol;      // Ident (null when pass 2 meets a name pass 1 never saw)
    ExprValue expr;      // primary .. expr, lable
    const char* string;  // String
    DataList list;       // DBobj, DBlist
  };
  const char* text;
  SrcPos pos;
};

struct Parser {
  int input_code = 0;
  ParseValue input{};
  int terminal = 0;
  int state = 0;
  int depth = 0;
  uint8_t state_stack[PARSER_STACK_LIMIT] = {};
  ParseValue value_stack[PARSER_STACK_LIMIT] = {};
  int status = PARSE_RUNNING;
  int provisional_terminal = -1;
  int provisional_depth = 0;
  int provisional_state = 0;
  SrcPos pos{1, 1};  // position printed by the diagnostics: the current token's
  // Where the engine shifted the last token: its entry (-1 before it shifts) and how many
  // bytes of records the trace's segment held at that moment.
  int shift_at = -1;
  int shift_mark = 0;
};

// Common tokens of a big program read ahead in pass 1 (engine.cpp tells why).
struct TokenBatch {
  static constexpr int LINES = 32;
  static constexpr int TOKENS = 512;
  FastToken tokens[TOKENS];
  int16_t codes[TOKENS];
  int count = 0;
  int next = 0;
};

// Feeds learned from the engine in pass 1 (engine.cpp tells how they are used).
struct LearnedStep {
  uint8_t first;   // production
  uint8_t second;  // production of an operand's second action on the same entry, else 0
  uint8_t entry;
};
struct LearnedFeed {
  uint32_t key = 0;  // configuration << 9 | token code, + 1; 0 marks a free slot
  uint32_t to = 0;   // configuration after the feed
  uint32_t first_step = 0;
  uint16_t steps = 0;
  uint16_t before_shift = 0;  // steps made before the token is shifted
  uint8_t shift_at = 0;      // the entry the token is shifted to
  uint8_t shape_length = 0;  // bytes of its shape number in the trace, 0 when not known
  uint8_t shape[4] = {};
};
struct LearnedConfiguration {
  uint8_t state;
  uint8_t depth;
  uint32_t stack;  // offset of its `depth` states in `stacks`
};
struct LearnedFeeds {
  static constexpr uint32_t NONE = 0xFFFFFFFFu;
  static constexpr uint32_t CONFIGURATION_LIMIT = 4096;
  static constexpr int FEED_BITS = 14;
  static constexpr size_t FEED_SLOTS = size_t{1} << FEED_BITS;  // at most half used
  std::vector<LearnedConfiguration> configurations;
  std::vector<uint8_t> stacks;
  std::unordered_map<std::string, uint32_t> numbers;  // configuration by state and stack
  std::vector<LearnedFeed> feeds;  // FEED_SLOTS, from the first configuration on
  size_t feed_count = 0;
  std::vector<LearnedStep> steps;
  uint32_t current = NONE;    // the parser's configuration, NONE when not known
  bool stack_written = true;  // the parser's state stack holds current's states
};

void parser_start();
void parser_feed();
void run_pass();

// The action of a production; the base entry is value_stack[depth].
void reduction_action(int production);
// The same with the base entry given: rhs[k] holds the k-th right-hand symbol.
void perform_action(int production, ParseValue* rhs);
// The same, not recorded for pass 2.
void run_action(int production, ParseValue* rhs);
// The actions of production `first` and then, when not 0, of `second`, on one entry.
void perform_operand(int first, int second, ParseValue* top);
// perform_action and perform_operand with only the values they read recorded, not their
// records: for a learned feed, whose shape number is written whole.
void perform_action_values(int production, ParseValue* rhs);
void perform_operand_values(int first, int second, ParseValue* top);
// How pass 2's replay of pass 1's parse carries out a production's action: the common
// ones directly, the others through run_action.
enum ReplayKind : uint8_t {
  REPLAY_ACTION,        // run_action(a)
  REPLAY_SYMBOL,        // the identifier's symbol, as pass 1 found it
  REPLAY_INT,           // a number's value, from the trace
  REPLAY_STRING,        // a string, from the trace
  REPLAY_SYMBOL_VALUE,  // a symbol's value
  REPLAY_NUMBER,        // a number as a value
  REPLAY_OPCODE,        // an instruction without operand: opcode a
  REPLAY_BYTE,          // opcode a, the low byte of the operand at entry + operand
  REPLAY_WORD,          // opcode a, the operand's low 16 bits
  REPLAY_BRANCH,        // opcode a, the displacement to the operand
  REPLAY_PAIR,          // zero-page opcode a or absolute opcode b, as the operand allows
  REPLAY_ITEM_VALUE,    // a data item of a value
  REPLAY_ITEM_STRING,   // a data item of a string
  REPLAY_APPEND,        // a data item appended to the list
  REPLAY_CELLS,         // .DB / .DW / .DL of the list, cells of a bytes
  REPLAY_SYMBOL_OPERAND,  // REPLAY_SYMBOL, then REPLAY_SYMBOL_VALUE on the same entry
  REPLAY_INT_OPERAND,     // REPLAY_INT, then REPLAY_NUMBER on the same entry
  REPLAY_LABEL,           // REPLAY_SYMBOL, then the action of a label on the same entry
};
struct ReplayStep {
  uint8_t kind;
  uint8_t operand;
  uint8_t a;
  uint8_t b;
};
ReplayStep replay_step_of(int production);
// True for the productions whose action only passes the first symbol's value on.
bool action_passes_value(int production);
