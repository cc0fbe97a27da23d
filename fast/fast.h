// The fast layer: optional mechanisms that make the same run as the plain core, faster.
// The driver alone chooses them, once per run; the core knows nothing of them beyond the
// watches it offers (ReaderWatch, ParseWatch). docs/architecture.md gives each
// mechanism's contract and how it is checked.
#pragma once
#include <cstddef>

// The mechanisms: each can be turned off on its own; with none the plain core runs alone.
enum FastMechanism : unsigned {
  FAST_NONE = 0,
  FAST_SCAN = 1,    // the block scanner
  FAST_ENGINE = 2,  // the dense engine with its fused steps and learned feeds
  FAST_REPLAY = 4,  // pass 2 replays pass 1's recorded parse
  FAST_ALL = 7,
};

struct FastLayer;

// The layer for a run with the mechanisms given (FastMechanism bits; 0: the plain core
// alone). `trace_limit`: the most bytes pass 1's record may take.
FastLayer* fast_create(unsigned mechanisms, size_t trace_limit);
void fast_destroy(FastLayer* f);
// A pass is about to open its source (pass 1's record starts here, with the source's
// first bytes).
void fast_pass_starts(FastLayer& f, int pass);
// One pass over the source, as run_pass makes it.
void fast_run_pass(FastLayer& f);
// Whether pass 2 may replay pass 1's record instead of parsing again, and the replay.
bool fast_can_replay(FastLayer& f);
void fast_replay(FastLayer& f);
