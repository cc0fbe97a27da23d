// The load file goes into a temporary file that is renamed over its target.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/replace_file.h"
#include "tests/support/run_helper.h"

namespace {

// The temporary file lies in the target's own folder, whatever the working folder is: from
// anywhere else the rename could cross file systems and fail.
TEST(ReplacingFile, TemporaryLiesBesideItsTarget) {
  const xtest::ScratchDir dir;
  const std::filesystem::path sub = dir.path() / "sub";
  std::filesystem::create_directory(sub);
  ReplacingFile f;
  ASSERT_TRUE(replacing_open(f, (sub / "prog.xex").string()));
  EXPECT_EQ(std::filesystem::path(f.temp).parent_path(), sub) << f.temp;
  replacing_abandon(f);
  EXPECT_TRUE(std::filesystem::is_empty(sub));
}

}  // namespace
