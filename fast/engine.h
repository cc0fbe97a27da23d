// The dense engine: the plain engine's tables answered in advance, one word per state and
// symbol, with the steps that change nothing skipped and the common runs of steps fused.
//
// Contract: fed the same tokens, fast_feed leaves the Parser record as parser_feed would
// (state, depth, state stack, the entries that the actions read, status, provisional
// record), makes the same engine_act calls in the same order on the same entries (so the
// same reduction_action calls and the same watch calls), and the same diagnostics.
#pragma once
#include <cstdint>
#include <vector>

#include "fast/feeds.h"
#include "parser/engine.h"

// Where a run of default reductions of pass-through unit productions ends (engine.cpp
// tells how it is used); each answer is worked out the first time it is needed, so the
// table belongs to the run.
struct UnitChains {
  int slot_of[128];           // unit left side -> its slot, or -1
  std::vector<uint8_t> known;  // 0 while not worked out, else the answer + 1
};

// Sizes the table for the unit left sides the dense table holds, every answer unknown.
void unit_chains_init(UnitChains& u);
// Processes the token in input_code / input, as parser_feed does; with a log, tells it
// every shift and action made (for learning the feed).
void fast_feed(Parser& p, UnitChains& u, std::vector<FeedStep>* log);
