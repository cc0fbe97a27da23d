// Pass 2's replay of pass 1's parse, driven in process the way the driver drives it, for
// what no output shows: the statement memory that the replay gives back.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fast/fast.h"
#include "fast/replay.h"
#include "tests/support/run_helper.h"

namespace {

// 100 data statements of about 2 KB of strings and lists each: a replay that kept every
// statement's memory would hold them all at its end.
TEST(Replay, GivesEachStatementsMemoryBack) {
  const xtest::ScratchDir dir;
  std::string source = ".SECTION \"c\",$2000\n";
  for (int i = 0; i < 100; i++) source += ".DB \"" + std::string(1000, 'x') + "\",1,2\n";
  const std::string path = dir.write("prog.asm", source);

  xtest::OperationRun run;
  std::unique_ptr<FastLayer, void (*)(FastLayer*)> fast(fast_create(FAST_ALL, size_t{64} << 20), fast_destroy);
  for (int pass = 1; pass <= 2; pass++) {
    fast_pass_starts(*fast, pass);
    ASSERT_TRUE(reader_open_source(path.c_str()));
    if (pass == 2) run.begin_pass2();
    arena_reset(g->statement);
    parser_start();
    if (pass == 1) {
      fast_run_pass(*fast);
    } else {
      ASSERT_TRUE(fast_can_replay(*fast));
      fast_replay(*fast);
    }
    reader_close_source();
  }
  EXPECT_EQ(run.err, "Section:c  Start:2000 \n");
  EXPECT_EQ(g->statement.chunks.size(), 1u);
  EXPECT_EQ(g->statement.left, Arena::CHUNK) << "the last statement's memory is still held";
  EXPECT_TRUE(g->statement.large.empty());
}

}  // namespace

// The hash that tells whether a file changed between the passes: the same bytes give the
// same hash however the reads cut them; a change of any one byte, the first or the last
// of a partial block included, or one byte more or less, gives another.
TEST(Replay, FileHashSeesEveryByteAndTheLength) {
  const uint64_t key[2] = {0x0123456789abcdefull, 0xfedcba9876543210ull};
  std::string text;
  for (int i = 0; i < 203; i++) text += static_cast<char>('A' + i % 26);
  auto hash = [&](const std::string& t, size_t piece) {
    FileHash h(key);
    for (size_t at = 0; at < t.size(); at += piece)
      h.add(reinterpret_cast<const unsigned char*>(t.data()) + at, std::min(piece, t.size() - at));
    return h.finish();
  };
  const uint64_t whole = hash(text, text.size());
  for (size_t piece : {1, 3, 15, 16, 17, 63, 64, 65}) EXPECT_EQ(hash(text, piece), whole) << piece;
  for (size_t at = 0; at < text.size(); at++) {
    std::string changed = text;
    changed[at] ^= 1;
    EXPECT_NE(hash(changed, 7), whole) << at;
  }
  EXPECT_NE(hash(text + '\0', 64), whole);
  EXPECT_NE(hash(text.substr(0, 202), 64), whole);
  const uint64_t other[2] = {key[0] + 1, key[1]};
  FileHash h(other);
  h.add(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  EXPECT_NE(h.finish(), whole) << "the key is part of the hash";
}

// A reset keeps the first chunk of an arena and frees the others: statement after
// statement, a run's memory stays where its largest statement took it.
TEST(StatementMemory, ResetFreesEveryChunkButTheFirst) {
  auto in_use = [] {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  Arena a;
  auto statement = [&] {
    for (size_t i = 0; i < 5 * Arena::CHUNK / 64; i++) arena_alloc(a, 64);
    arena_reset(a);
  };
  statement();
  const size_t before = in_use();
  for (int i = 0; i < 50; i++) statement();
  EXPECT_LT(in_use(), before + Arena::CHUNK) << "a reset kept chunks it should have freed";
  EXPECT_EQ(a.chunks.size(), 1u);
}
