// Learned feeds: what the dense engine does with a token depends on nothing but the
// parser's configuration (its state, its depth and the states on its stack) and the
// token's code, and what it does to the parser beyond that configuration is a sequence of
// shifts and actions on stack entries. So once the engine has fed a token in some
// configuration, a feed of the same code in the same configuration makes the same steps
// and ends in the same configuration. Pass 1 learns each feed the first time the engine
// makes it and makes it directly after that.
//
// Contract: a learned feed makes the same engine_shifted and engine_act calls, in the same
// order, on the same entries, as fast_feed would, and leaves the same state and depth; the
// states on the stack are written back before the engine is needed again. Configurations
// are only known while the parse runs with no provisional reduction pending, which a
// learned feed never changes. While pass 1 records, an engine_act is made as its two
// parts, the action and the recorder told of it, without the call through the watch.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "parser/engine.h"

struct Recording;

struct FeedStep {
  uint8_t production;  // 0: the token's shift
  uint8_t entry;
};

struct LearnedFeed {
  uint32_t key = 0;  // configuration << 9 | token code, + 1; 0 marks a free slot
  uint32_t to = 0;   // configuration after the feed
  uint32_t first_step = 0;
  uint32_t steps = 0;
};

struct Configuration {
  uint8_t state;
  uint8_t depth;
  uint32_t stack;  // offset of its `depth` states in `stacks`
};

struct LearnedFeeds {
  static constexpr uint32_t NONE = 0xFFFFFFFFu;
  static constexpr uint32_t CONFIGURATION_LIMIT = 4096;
  static constexpr int FEED_BITS = 14;
  static constexpr size_t FEED_SLOTS = size_t{1} << FEED_BITS;  // at most half used
  std::vector<Configuration> configurations;
  std::vector<uint8_t> stacks;
  std::unordered_map<std::string, uint32_t> numbers;  // configuration by state and stack
  std::vector<LearnedFeed> feeds;                     // FEED_SLOTS when the first is learned
  size_t feed_count = 0;
  std::vector<FeedStep> steps;
  std::vector<FeedStep> log;  // the steps of the feed the engine is making
  uint32_t current = NONE;    // the parser's configuration, NONE when not known
  bool stack_written = true;  // the parser's state stack holds current's states
};

// A pass starts with no configuration known.
void feeds_begin_pass(LearnedFeeds& l);
// The learned feed of `code` in the current configuration, or null.
const LearnedFeed* feed_find(const LearnedFeeds& l, int code);
// Asks for the slot where the learned feed of `code` after `f` is looked up to be brought
// near (the next token is known while this one's actions run).
void feed_prefetch(const LearnedFeeds& l, const LearnedFeed& f, int code);
// Makes a learned feed of the token in p.input. With `rec` (pass 1's recorder, which is
// then the engine's watch) each action is told to it directly.
void feed_make(LearnedFeeds& l, Parser& p, const LearnedFeed& f, Recording* rec);
// Before the engine feeds a token: the states on the stack written back.
void feeds_before_engine(LearnedFeeds& l, Parser& p);
// After the engine fed `code` from configuration `from` with the steps in the log: learns
// the feed when it can, and works out the configuration now current.
void feeds_after_engine(LearnedFeeds& l, uint32_t from, int code, const Parser& p);
