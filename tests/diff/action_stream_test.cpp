// The fast layer's actions against the plain core's: not only the outputs, but every action
// call, in order, with what the action left on its stack entry. The dense engine (with its
// learned feeds) must make the plain engine's calls in both passes, and the replay of pass
// 1's record the calls of a plain pass 2 (leaving out the actions that only pass a value
// on, which the record keeps out by design).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "assembly/symbol.h"
#include "bench/programs.h"
#include "fast/fast.h"
#include "parse_productions.h"
#include "parser/actions.h"
#include "parser/engine.h"
#include "parser/parse_tables.h"
#include "base/diag.h"
#include "source/reader.h"
#include "tests/support/run_helper.h"

namespace {

using namespace xtest;

// One action call as a line of text: the production, the entry, and what the entry holds
// after it, read as the production's left side keeps it.
std::string describe(int production, int base, const ParseValue& v, bool positions) {
  std::string s = std::to_string(production) + '@' + std::to_string(base);
  switch (rule_left[production]) {
    case S_Number: s += " number " + std::to_string(v.integer); break;
    case S_Ident: s += std::string(" name ") + (v.symbol ? v.symbol->name : "-"); break;
    case S_String: s += std::string(" string ") + v.string; break;
    case S_DBobj:
    case S_DBlist:
      for (const DataItem* i = v.list.head; i; i = i->next)
        s += i->text ? std::string(" \"") + i->text + '"' : ' ' + std::to_string(i->value.value) + '/' + std::to_string(i->value.defined);
      break;
    case S_expr: case S_xorexp: case S_arith: case S_mulexp: case S_unary: case S_primary: case S_lable:
      s += " value " + std::to_string(v.expr.value) + '/' + std::to_string(v.expr.defined);
      break;
    default: break;
  }
  if (positions) s += " at " + std::to_string(v.pos.input) + ':' + std::to_string(v.pos.line) + ':' + std::to_string(v.pos.col);
  return s;
}

struct Stream {
  std::vector<std::string> calls[3];  // by pass (1, 2)
  bool positions = true;
  bool value_passing = true;  // the actions that only pass a value on are kept too
};

void on_acted(void* context, int production, int base, const ParseValue& v) {
  Stream& s = *static_cast<Stream*>(context);
  if (!s.value_passing && action_passes_value(production)) return;
  s.calls[g->pass].push_back(describe(production, base, v, s.positions));
}

// Both passes of `path`, the way the driver makes them, with the action calls of the
// passes named in `watched` (bit 1 << pass) kept. Tells whether pass 2 replayed.
bool run_both_passes(const std::string& path, OperationRun& run, FastLayer& fast, Stream& stream, unsigned watched) {
  bool replayed = false;
  for (int pass = 1; pass <= 2; pass++) {
    fast_pass_starts(fast, pass);
    if (!reader_open_source(path.c_str())) return false;
    if (pass == 2) run.begin_pass2();
    arena_reset(g->statement);
    parser_start();
    if (watched & (1u << pass)) g->parser->watch = ParseWatch{&stream, nullptr, on_acted};
    if (pass == 2 && fast_can_replay(fast)) {
      fast_replay(fast);
      replayed = true;
    } else {
      fast_run_pass(fast);
    }
    g->parser->watch = ParseWatch{};
    reader_close_source();
  }
  return replayed;
}

// The same with the given mechanisms, in a run of its own; a fatal stop ends it (the calls
// made until then are compared).
bool run_passes(const std::string& path, unsigned mechanisms, Stream& stream, unsigned watched) {
  OperationRun run;
  std::unique_ptr<FastLayer, void (*)(FastLayer*)> fast(fast_create(mechanisms, size_t{64} << 20), fast_destroy);
  bool replayed = false;
  try {
    replayed = run_both_passes(path, run, *fast, stream, watched);
  } catch (const FatalStop&) {
  }
  g->parser->watch = ParseWatch{};
  return replayed;
}

// The first difference of two streams, or nothing.
std::string first_difference(const std::vector<std::string>& plain, const std::vector<std::string>& fast) {
  size_t n = std::min(plain.size(), fast.size());
  for (size_t i = 0; i < n; i++)
    if (plain[i] != fast[i]) return "call " + std::to_string(i) + ": plain " + plain[i] + ", fast " + fast[i];
  if (plain.size() != fast.size())
    return "plain makes " + std::to_string(plain.size()) + " calls, fast " + std::to_string(fast.size());
  return {};
}

// The dense engine (alone and behind the block scanner) against the plain engine, in both
// passes, positions included. The dense engine passes a value on down a chain of unit
// productions without their actions (which do nothing else), so those are left out.
void check_engine(const std::string& what, const std::string& path) {
  Stream plain;
  plain.value_passing = false;
  run_passes(path, FAST_NONE, plain, 2u | 4u);
  for (unsigned mechanisms : {unsigned{FAST_ENGINE}, unsigned{FAST_SCAN | FAST_ENGINE}}) {
    Stream fast;
    fast.value_passing = false;
    run_passes(path, mechanisms, fast, 2u | 4u);
    for (int pass = 1; pass <= 2; pass++)
      EXPECT_EQ(first_difference(plain.calls[pass], fast.calls[pass]), "") << what << ", pass " << pass << ", mechanisms " << mechanisms;
  }
}

// The replay against a plain pass 2 (no positions: the replay carries them only for
// messages that name their file). Tells whether the replay took place.
bool check_replay(const std::string& what, const std::string& path) {
  Stream plain, replay;
  plain.positions = replay.positions = false;
  plain.value_passing = false;
  run_passes(path, FAST_NONE, plain, 4u);
  if (!run_passes(path, FAST_ALL, replay, 4u)) return false;
  EXPECT_EQ(first_difference(plain.calls[2], replay.calls[2]), "") << what;
  return true;
}

TEST(ActionStream, GeneratedProgram) {
  const ScratchDir dir;
  const std::string path = dir.write("prog.asm", generate_program(20000).text);
  check_engine("generated program", path);
  EXPECT_TRUE(check_replay("generated program", path)) << "the program was not replayed";
}

// Every entry of the fuzz corpus that reads no include (as a file: its first byte taken
// off when it picks a mode of the fuzz target).
TEST(ActionStream, CorpusEntries) {
  const std::vector<fs::path> entries = corpus_entries(XEXASM_CORPUS_DIR);
  const ScratchDir dir;
  size_t replayed = 0;
  for (const fs::path& entry : entries) {
    const std::string input(corpus_source(read_file(entry)));
    if (input.find("INCLUDE") != std::string::npos) continue;
    const std::string path = dir.write("entry.asm", input);
    check_engine(entry.filename().string(), path);
    replayed += check_replay(entry.filename().string(), path);
    if (HasFailure()) break;
  }
  EXPECT_GT(replayed, 150u) << "too few entries replayed to check the replay";
}

}  // namespace
