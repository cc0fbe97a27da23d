// The fast layer's entry points: which mechanism runs where.
#include "fast/fast.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "assembly/symbol.h"

#include "fast/engine.h"
#include "fast/prescan.h"
#include "fast/replay.h"
#include "fast/scan.h"
#include "parser/engine.h"

struct FastLayer {
  unsigned mechanisms = 0;
  size_t trace_limit = 0;
  UnitChains unit_chains;
  LearnedFeeds feeds;
  Recording recording;
  std::vector<Symbol*> symbol_of_name;  // by the prescanner's name numbers: what pass 1 found
  Prescan prescan;  // last: its thread stops first
};

FastLayer* fast_create(unsigned mechanisms, size_t trace_limit) {
  FastLayer* f = new FastLayer();
  f->mechanisms = mechanisms;
  f->trace_limit = trace_limit;
  if (mechanisms & FAST_ENGINE) unit_chains_init(f->unit_chains);
  return f;
}

void fast_destroy(FastLayer* f) { delete f; }

// The dense engine's feed of the token in p.input; in pass 1 through a learned feed when
// there is one, else learned from the engine.
static void engine_feed(FastLayer& f, Parser& p, int code) {
  LearnedFeeds& l = f.feeds;
  if (g->pass != 1) return fast_feed(p, f.unit_chains, nullptr);
  if (const LearnedFeed* learned = feed_find(l, code)) {
    // The next token's feed is looked up right after this one's actions: it is brought
    // near while they run.
    feed_prefetch(l, *learned, prescan_peek(f.prescan));
    return feed_make(l, p, *learned, f.recording.on ? &f.recording : nullptr);
  }
  uint32_t from = l.current;
  feeds_before_engine(l, p);
  l.log.clear();
  fast_feed(p, f.unit_chains, &l.log);
  feeds_after_engine(l, from, code, p);
}

// An identifier that the prescanner numbered, in pass 1: its lookup gets the symbol that the
// last lookup of a name of that number found (the same name but where two share a number,
// which the lookup checks), or tells it. In pass 1 a name keeps its symbol (a symbol is made
// only where the lookup found none, and none goes).
static void hint_name(FastLayer& f, uint32_t name, const char* text) {
  std::vector<Symbol*>& known = f.symbol_of_name;
  if (name >= known.size()) known.resize(std::max<size_t>(name + size_t{1}, known.size() * 2), nullptr);
  g->symbols->hint = NameHint{text, known[name]};
}
// After the token's feed: what the lookup found becomes the symbol of the name's number.
static void keep_hint(FastLayer& f, uint32_t name) {
  NameHint& hint = g->symbols->hint;
  f.symbol_of_name[name] = hint.symbol;
  hint = NameHint{};
}

// The names' numbers serve pass 1 only: their memory goes before pass 2 takes its own.
static void forget_names(FastLayer& f) {
  prescan_stop(f.prescan);
  prescan_forget_names(f.prescan);
  std::vector<Symbol*>().swap(f.symbol_of_name);
}

// The pass loop of run_pass, with the block scanner and the dense engine where they are
// turned on. Every action that reads a token's text runs while that token is fed, and the
// scanner is not called again before, so the engine reads the text where the scanner left
// it (the plain loop copies it).
template <bool kScan, bool kEngine>
static void pass_loop(FastLayer& f) {
  Parser& p = *g->parser;
  const Scanner& sc = *g->scanner;
  if (kEngine) feeds_begin_pass(f.feeds);
  for (;;) {
    int code = kScan ? prescan_next_token(f.prescan) : next_token();
    p.pos = sc.token_pos;
    p.input_code = code;
    p.input.code = code;
    p.input.text = sc.text;
    p.input.pos = sc.token_pos;
    uint32_t name = kScan && code == TOK_IDENT && g->pass == 1 ? f.prescan.last_name : NO_NAME;
    if (name != NO_NAME) hint_name(f, name, sc.text);
    if (kEngine) engine_feed(f, p, code);
    else parser_feed();
    if (name != NO_NAME) keep_hint(f, name);
    // Between statements nothing on the stack refers to the statement's memory.
    if (p.depth <= 1 && (p.status == PARSE_RUNNING || p.status == PARSE_ACCEPTED)) {
      arena_reset(g->statement);
      if (f.recording.on) record_statement_end(f.recording);
    }
    if (code <= 0) break;
  }
  if (kEngine) feeds_before_engine(f.feeds, p);
}

// The pass loop made for the mechanisms turned on.
static void pass_loop_of(FastLayer& f) {
  switch (f.mechanisms & (FAST_SCAN | FAST_ENGINE)) {
    case FAST_SCAN | FAST_ENGINE: return pass_loop<true, true>(f);
    case FAST_SCAN: return pass_loop<true, false>(f);
    case FAST_ENGINE: return pass_loop<false, true>(f);
    default: return pass_loop<false, false>(f);
  }
}

void fast_pass_starts(FastLayer& f, int pass) {
  if (pass == 1 && (f.mechanisms & FAST_REPLAY)) {
    record_start(f.recording, f.trace_limit);
    // While the prescanner's thread runs, it maps in the record's next chunk.
    if (f.mechanisms & FAST_SCAN) {
      f.recording.make_spare = [](void* context, size_t n) -> uint8_t* {
        Prescan& ps = *static_cast<Prescan*>(context);
        if (!ps.started) return nullptr;
        uint8_t* bytes = new (std::nothrow) uint8_t[n];
        if (bytes) prescan_populate(ps, bytes, n);
        return bytes;
      };
      f.recording.spare_context = &f.prescan;
    }
  }
}

void fast_run_pass(FastLayer& f) {
  if (f.mechanisms == FAST_NONE) return run_pass();
  // A pass that stops ends the prescanner's job before the reader's blocks go.
  struct StopPrescan {
    Prescan& ps;
    ~StopPrescan() { prescan_stop(ps); }
  } stop{f.prescan};
  pass_loop_of(f);
  if (g->pass == 1) forget_names(f);
  if (g->pass == 1 && (f.mechanisms & FAST_REPLAY)) record_finish(f.recording);
}

bool fast_can_replay(FastLayer& f) { return (f.mechanisms & FAST_REPLAY) && record_replayable(f.recording); }

void fast_replay(FastLayer& f) {
  record_replay(f.recording);
  g->parser->status = PARSE_ACCEPTED;
}
