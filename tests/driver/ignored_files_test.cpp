#include "driver/ignored_files.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

using test::TempDir;

// The patterns are relative to the folder of the configuration file that
// rustfmt reads for the file, and only that file counts: a nearer one
// without a list leaves nothing out.
TEST(IgnoredFiles, TheListOfTheFileRustfmtReadsLeavesOutPathsBelowItsFolder) {
  TempDir dir;
  dir.write("rustfmt.toml", "ignore = [\"src/bad.rs\", \"gen/\", \"/top.rs\"]\n");
  dir.write("nearer/rustfmt.toml", "max_width = 80\n");
  dir.write("broken/rustfmt.toml", "ignore = [\n");
  const std::vector<std::string> files = {
      dir / "src/bad.rs",  dir / "src/good.rs",    dir / "src/gen/deep/x.rs", dir / "lib/src/bad.rs",
      dir / "top.rs",      dir / "src/top.rs",     dir / "nearer/src/bad.rs", dir / "broken/src/bad.rs",
      dir / "new/file.rs",
  };
  for (const auto& file : files) dir.write(file.substr(dir.path().size() + 1), "");
  EXPECT_EQ(without_ignored_files(files),
            (std::vector<std::string>{dir / "src/good.rs", dir / "lib/src/bad.rs", dir / "src/top.rs",
                                      dir / "nearer/src/bad.rs", dir / "broken/src/bad.rs", dir / "new/file.rs"}));
  // A file that does not exist yet (an editor's new buffer) is looked up
  // by its name all the same.
  EXPECT_TRUE(IgnoredFiles().ignored(dir / "src/gen/deep/new.rs"));
}

}  // namespace
}  // namespace tersify::driver
