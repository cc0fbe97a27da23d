// Pass 2's replay of pass 1's parse, driven in process the way the driver drives it, for
// what no output shows: the statement memory that the replay gives back.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fast/fast.h"
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
