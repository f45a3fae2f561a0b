// The run's formatter gives every text exactly what a fresh rustfmt gives
// it alone, whichever ways it may use, and one text that rustfmt rejects
// inside a large batch costs a few more runs, not one run per text.

#include "driver/rustfmt.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

TEST(Rustfmt, ATextRejectedInABatchCostsAFewMoreRuns) {
  ignore_write_signals();
  test::TempDir dir;
  dir.write("rustfmt.toml", "tab_spaces = 2\n");
  const FileSettings settings{"2021", 100, dir.path(), 1, dir / "rustfmt.toml"};
  const Environment environment = read_environment();
  constexpr std::size_t count = 24, bad = 9;
  struct Case {
    const char* name;
    std::string bad_text;
    std::uint64_t most_runs;
  };
  const Case cases[] = {
      // The message names the bad file: it goes alone, the rest as one batch.
      {"named by its message", "fn broken( {\n", 3},
      // A crash names no file: halves, down to the bad text alone.
      {"a crash", "fn main() {" + std::string(100000, '{') + std::string(100000, '}') + "}\n", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) texts.push_back("fn  f" + std::to_string(i) + "( ){let x=1;}\n");
    texts[bad] = c.bad_text;
    std::vector<FormatRequest> requests;
    for (const auto& text : texts) requests.push_back({text, &settings});
    auto formatted = [](std::size_t i) { return "fn f" + std::to_string(i) + "() {\n  let x = 1;\n}\n"; };
    Rustfmt fresh(environment, {});
    const FormatRequest alone[] = {requests[0], requests[bad]};
    auto want = format_all(fresh, alone, nullptr);
    auto shown = [](const Result<std::string>& r) { return r ? *r : "error: " + r.error(); };
    ASSERT_EQ(shown(want[0]), formatted(0));
    ASSERT_FALSE(want[1]) << "rustfmt accepts the bad text";

    for (bool fork_server : {false, true}) {
      SCOPED_TRACE(fork_server ? "served" : "started afresh");
      Rustfmt batched(environment, {.fork_server = fork_server, .batches = true});
      ASSERT_EQ(batched.texts_at_once().texts, batch_limits.texts);
      auto got = format_all(batched, requests, nullptr);
      for (std::size_t i = 0; i < count; ++i) {
        if (i != bad) {
          EXPECT_EQ(shown(got[i]), formatted(i)) << i;
        }
      }
      ASSERT_FALSE(got[bad]);
      // A crash's message holds the thread id, which differs run to run.
      if (c.most_runs == 3) {
        EXPECT_EQ(got[bad].error(), want[1].error());
      }
      std::map<std::string, std::uint64_t> counts;
      for (const auto& [name, value] : batched.counts()) counts[std::string(name)] = value;
      std::uint64_t runs = counts["rustfmt_plain"] + counts["rustfmt_served"];
      EXPECT_GE(runs, 2u);
      EXPECT_LE(runs, c.most_runs);
      EXPECT_EQ(counts["rustfmt_served"] != 0, fork_server);
    }
  }
}

}  // namespace
}  // namespace tersify::driver
