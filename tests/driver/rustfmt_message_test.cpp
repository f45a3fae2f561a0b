#include "driver/rustfmt_message.h"

#include <gtest/gtest.h>

namespace tersify::driver {
namespace {

constexpr const char* ignore_warning =
    "Warning: can't set `ignore = IgnoreList { path_set: {\"a.rs\"}, rustfmt_toml_path: \"\" }`, unstable "
    "features are only available in nightly channel.\n";

TEST(RustfmtMessage, TheFailureIsRustfmtsWordsWithoutTheIgnoreWarningAndNamesAKillFirst) {
  struct Case {
    std::string err;
    std::optional<int> code;
    std::optional<int> signal;
    std::string message;
  };
  const Case cases[] = {
      {"error: this file contains an unclosed delimiter\n\n", 1, {}, "error: this file contains an unclosed delimiter\n\n"},
      {std::string(ignore_warning) + "error: x\n" + ignore_warning, 1, {}, "error: x\n"},
      {ignore_warning, 4, {}, "rustfmt exited with status 4"},
      {"Warning: can't set `imports_granularity = Crate`\n", 1, {}, "Warning: can't set `imports_granularity = Crate`\n"},
      {"", {}, 9, "rustfmt was killed by signal 9"},
      {std::string("dying\n") + ignore_warning, {}, 9, "rustfmt was killed by signal 9\ndying\n"},
      {"caf\xe9", 1, {}, "caf\xef\xbf\xbd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    auto message = rustfmt_failure_message(c.err, c.code, c.signal);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(tells_a_kill(message), c.signal.has_value());
  }
}

TEST(RustfmtMessage, LocationsOnStandardInputNameTheFile) {
  const std::string message =
      "error: expected one of `,` or `)`\n --> <stdin>:757:3\n    |\n757 | <stdin>: x\n   ::: <stdin>:2:1\n"
      " --> <stdin>\n --> other.rs:1:1\n";
  EXPECT_EQ(naming_the_file(message, "./src/lib.rs"),
            "error: expected one of `,` or `)`\n --> ./src/lib.rs:757:3\n    |\n757 | <stdin>: x\n"
            "   ::: ./src/lib.rs:2:1\n --> <stdin>\n --> other.rs:1:1\n");
  EXPECT_EQ(naming_the_file(message, "<stdin>"), message);
}

}  // namespace
}  // namespace tersify::driver
