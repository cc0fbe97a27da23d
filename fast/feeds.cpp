// Learned feeds.
#include "fast/feeds.h"

#include <cstring>

#include "fast/replay.h"
#include "parser/actions.h"
#include "parser/grammar.h"

namespace {

// A feed's key: the configuration and the token's code; never 0, the mark of an empty slot.
uint32_t feed_key(uint32_t configuration, int code) {
  return (configuration << 9 | static_cast<uint32_t>(code)) + 1;
}

// The slot where the probe for a key begins (multiplicative hashing of the key).
size_t feed_slot(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - LearnedFeeds::FEED_BITS); }

// The number of the parser's configuration, given to it the first time it is met; NONE
// once there are too many.
uint32_t configuration_number(LearnedFeeds& l, const Parser& p) {
  std::string key(static_cast<size_t>(p.depth) + 1, '\0');
  key[0] = static_cast<char>(p.state);
  std::memcpy(&key[1], p.state_stack, static_cast<size_t>(p.depth));
  auto found = l.numbers.find(key);
  if (found != l.numbers.end()) return found->second;
  if (l.configurations.size() >= LearnedFeeds::CONFIGURATION_LIMIT) return LearnedFeeds::NONE;
  uint32_t n = static_cast<uint32_t>(l.configurations.size());
  l.configurations.push_back(Configuration{static_cast<uint8_t>(p.state), static_cast<uint8_t>(p.depth),
                                           static_cast<uint32_t>(l.stacks.size())});
  l.stacks.insert(l.stacks.end(), p.state_stack, p.state_stack + p.depth);
  l.numbers.emplace(std::move(key), n);
  return n;
}

// Keeps the steps in the log as the feed of `code` from configuration `from` to `to`; none
// is kept once the table is half full.
void learn(LearnedFeeds& l, uint32_t from, int code, uint32_t to) {
  if (l.feeds.empty()) l.feeds.resize(LearnedFeeds::FEED_SLOTS);
  if (l.feed_count * 2 >= LearnedFeeds::FEED_SLOTS) return;
  LearnedFeed f;
  f.key = feed_key(from, code);
  f.to = to;
  f.first_step = static_cast<uint32_t>(l.steps.size());
  f.steps = static_cast<uint32_t>(l.log.size());
  l.steps.insert(l.steps.end(), l.log.begin(), l.log.end());
  size_t i = feed_slot(f.key);
  while (l.feeds[i].key != 0) i = (i + 1) & (LearnedFeeds::FEED_SLOTS - 1);
  l.feeds[i] = f;
  l.feed_count++;
}

}  // namespace

void feeds_begin_pass(LearnedFeeds& l) {
  l.current = LearnedFeeds::NONE;
  l.stack_written = true;
}

const LearnedFeed* feed_find(const LearnedFeeds& l, int code) {
  if (l.current == LearnedFeeds::NONE || l.feeds.empty() || code < 0 || code >= TOKEN_CODE_COUNT) return nullptr;
  uint32_t key = feed_key(l.current, code);
  for (size_t i = feed_slot(key);; i = (i + 1) & (LearnedFeeds::FEED_SLOTS - 1)) {
    const LearnedFeed& f = l.feeds[i];
    if (f.key == key) return &f;
    if (f.key == 0) return nullptr;
  }
}

void feed_prefetch(const LearnedFeeds& l, const LearnedFeed& f, int code) {
  if (code >= 0 && code < TOKEN_CODE_COUNT) __builtin_prefetch(&l.feeds[feed_slot(feed_key(f.to, code))]);
}

void feed_make(LearnedFeeds& l, Parser& p, const LearnedFeed& f, Recording* rec) {
  const FeedStep* s = &l.steps[f.first_step];
  for (const FeedStep* end = s + f.steps; s < end; s++) {
    if (s->production == 0) {
      engine_shifted(p, s->entry);
    } else if (rec) {
      // engine_act with the recorder as its watch, without the call through the watch
      reduction_action(s->production, &p.value_stack[s->entry]);
      record_action(*rec, s->production, s->entry, p.value_stack[s->entry]);
    } else {
      engine_act(p, s->production, s->entry);
    }
  }
  const Configuration& c = l.configurations[f.to];
  p.state = c.state;
  p.depth = c.depth;
  l.current = f.to;
  l.stack_written = false;
}

void feeds_before_engine(LearnedFeeds& l, Parser& p) {
  if (l.stack_written) return;
  const Configuration& c = l.configurations[l.current];
  std::memcpy(p.state_stack, &l.stacks[c.stack], c.depth);
  l.stack_written = true;
}

void feeds_after_engine(LearnedFeeds& l, uint32_t from, int code, const Parser& p) {
  l.current = LearnedFeeds::NONE;
  if (p.status != PARSE_RUNNING || p.provisional_terminal != -1) return;
  uint32_t to = configuration_number(l, p);
  l.current = to;
  if (to != LearnedFeeds::NONE && from != LearnedFeeds::NONE && code >= 0 && code < TOKEN_CODE_COUNT)
    learn(l, from, code, to);
}
