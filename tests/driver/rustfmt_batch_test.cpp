// A batch gives a text only where it is exactly what rustfmt gives that text
// alone on standard input: the split of a batch's output is strict, and on
// real rustfmt every text of a batch either matches a single run or the
// batch gives nothing for it (a single run then answers).

#include "driver/rustfmt_batch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "driver/fresh_rustfmt.h"
#include "driver/rustfmt_config.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "util/random_token.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

using Texts = std::optional<std::vector<std::string>>;

TEST(RustfmtBatch, OutputSplitsOnlyWhenEveryHeaderComesOnceInOrder) {
  const std::vector<std::string> files = {"/s/t-0.rs", "/s/t-1.rs"};
  struct Case {
    const char* name;
    std::string output;
    Texts want;
  };
  const Case cases[] = {
      {"two texts", "/s/t-0.rs:\n\nfn a() {}\n/s/t-1.rs:\n\nfn b() {}\n",
       std::vector<std::string>{"fn a() {}\n", "fn b() {}\n"}},
      {"empty texts", "/s/t-0.rs:\n\n/s/t-1.rs:\n\n", std::vector<std::string>{"", ""}},
      {"a file passed over", "/s/t-1.rs:\n\nfn b() {}\n", std::nullopt},
      {"out of order", "/s/t-1.rs:\n\nfn b() {}\n/s/t-0.rs:\n\nfn a() {}\n", std::nullopt},
      {"something before the first", "x\n/s/t-0.rs:\n\n/s/t-1.rs:\n\n", std::nullopt},
      {"a header inside a text", "/s/t-0.rs:\n\n/s/t-1.rs:\n\n/s/t-1.rs:\n\n", std::nullopt},
      {"nothing", "", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_batch_output(c.output, files), c.want) << c.name;
  }
}

TEST(RustfmtBatch, EveryTextIsASingleRunsOrNothing) {
  ignore_write_signals();
  test::TempDir configured;
  configured.write("rustfmt.toml", "tab_spaces = 2\n");
  // No configuration here: rustfmt finds none (or the user's own).
  test::TempDir bare;
  const std::string bare_config = config_rustfmt_reads(bare.path(), read_environment()).value_or("");
  const Program rustfmt = test::on_path("rustfmt");
  const BatchSetup setup{rustfmt, "/tmp", random_token()};
  struct Case {
    const char* name;
    std::vector<std::string> texts;
    bool given;  // whether the batch gives its texts
  };
  const Case cases[] = {
      {"plain code, a module declared, blank texts",
       {"fn  a( ){let x=1;}\n", "mod elsewhere;\nfn b(){}\n", "", " \n\n",
        "\xef\xbb\xbf"
        "fn c( ){}\r\n"},
       true},
      {"a file rustfmt passes over", {"fn e(){}\n", "#![rustfmt::skip]\nfn  f(){}\n"}, false},
      {"a syntax error", {"fn g(){}\n", "fn broken( {\n"}, false},
  };
  for (const FileSettings& settings : {FileSettings{"2021", 100, configured.path(), 1, configured / "rustfmt.toml"},
                                       FileSettings{"2018", 100, bare.path(), 1, bare_config}}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (settings.config_file.empty() ? ", no configuration" : ""));
      std::vector<std::string_view> texts(c.texts.begin(), c.texts.end());
      auto batch = run_batch(setup, texts, settings, nullptr, -1);
      ASSERT_EQ(batch.texts.size(), texts.size());
      for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(batch.texts[i].has_value(), c.given) << i;
        if (!batch.texts[i]) continue;
        auto single = run_rustfmt(rustfmt, texts[i], settings);
        ASSERT_TRUE(single) << single.error();
        EXPECT_EQ(*batch.texts[i], *single) << i;
      }
    }
  }

  // A configuration around the scratch folder (a shared $TMPDIR) is never
  // read: the batch still gives what a single run in the file's folder does.
  if (!bare_config.empty()) return;
  test::TempDir temp;
  temp.write("rustfmt.toml", "hard_tabs = true\n");
  std::string_view text[] = {"fn h() { let x = 1; }\n"};
  const FileSettings none{"2021", 100, bare.path(), 1, {}};
  auto batch = run_batch({rustfmt, temp.path(), setup.token}, text, none, nullptr, -1);
  ASSERT_TRUE(batch.texts[0]);
  EXPECT_EQ(*batch.texts[0], run_rustfmt(rustfmt, text[0], none).value());
}

}  // namespace
}  // namespace tersify::driver
