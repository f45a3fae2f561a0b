#include "driver/rustfmt_message.h"

#include <gtest/gtest.h>

namespace tersify::driver {
namespace {

TEST(RustfmtMessage, RustfmtsWordsWithoutTheIgnoreWarningAKillFirstAndTheFileNamed) {
  const std::string warning =
      "Warning: can't set `ignore = IgnoreList { path_set: {\"a.rs\"}, rustfmt_toml_path: \"\" }`, unstable "
      "features are only available in nightly channel.\n";
  EXPECT_EQ(rustfmt_failure_message(warning + "error: x\n" + warning, 1, {}), "error: x\n");
  EXPECT_EQ(rustfmt_failure_message(warning, 4, {}), "rustfmt exited with status 4");
  EXPECT_EQ(rustfmt_failure_message("dying\n" + warning, {}, 9), "rustfmt was killed by signal 9\ndying\n");
  EXPECT_TRUE(tells_a_kill(rustfmt_failure_message("", {}, 15)));

  const std::string message = "error: e\n --> <stdin>:757:3\n757 | <stdin>: x\n   ::: <stdin>:2:1\n --> <stdin>\n";
  EXPECT_EQ(naming_the_file(message, "./src/lib.rs"),
            "error: e\n --> ./src/lib.rs:757:3\n757 | <stdin>: x\n   ::: ./src/lib.rs:2:1\n --> <stdin>\n");
}

}  // namespace
}  // namespace tersify::driver
