#include "driver/ignored_files.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

// Patterns are relative to the folder of the configuration file that
// rustfmt reads for the file, and only that file counts.
TEST(IgnoredFiles, TheListOfTheFileRustfmtReadsLeavesOutPathsBelowItsFolder) {
  test::TempDir dir;
  dir.write("rustfmt.toml", "ignore = [\"src/bad.rs\", \"gen/\"]\n");
  dir.write("nearer/rustfmt.toml", "max_width = 80\n");
  dir.write("broken/rustfmt.toml", "ignore = [\n");
  std::vector<std::string> files;
  for (const char* file : {"src/bad.rs", "src/good.rs", "src/gen/x.rs", "lib/src/bad.rs", "nearer/src/bad.rs",
                           "broken/src/bad.rs"}) {
    dir.write(file, "");
    files.push_back(dir / file);
  }
  EXPECT_EQ(without_ignored_files(files, Environment{}),
            (std::vector<std::string>{dir / "src/good.rs", dir / "lib/src/bad.rs", dir / "nearer/src/bad.rs",
                                      dir / "broken/src/bad.rs"}));
  EXPECT_TRUE(IgnoredFiles(Environment{}).ignored(dir / "src/gen/new.rs")) << "an editor's new buffer";
}

}  // namespace
}  // namespace tersify::driver
