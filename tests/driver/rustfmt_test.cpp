// The run's formatter gives every text exactly what a fresh rustfmt gives
// it alone, whichever ways it may use, and a text that rustfmt rejects
// inside a batch is formatted once more on its own and no more: its batch
// and its own run.

#include "driver/rustfmt.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

TEST(Rustfmt, ATextRejectedInABatchIsFormattedOnceMoreOnItsOwn) {
  ignore_write_signals();
  test::TempDir dir;
  dir.write("rustfmt.toml", "tab_spaces = 2\n");
  const FileSettings settings{"2021", 100, dir.path(), 1, dir / "rustfmt.toml"};
  const std::vector<std::string> texts = {"fn  a( ){let x=1;}\n", "fn broken( {\n", "fn c(){}\n"};
  std::vector<FormatRequest> requests;
  for (const auto& text : texts) requests.push_back({text, &settings});
  const Environment environment = read_environment();
  Rustfmt fresh(environment, {});
  auto want = format_all(fresh, requests, nullptr);
  ASSERT_FALSE(want[1]) << "rustfmt accepts the broken text";

  for (bool fork_server : {false, true}) {
    SCOPED_TRACE(fork_server ? "served" : "started afresh");
    Rustfmt batched(environment, {.fork_server = fork_server, .batches = true});
    ASSERT_EQ(batched.texts_at_once(), batch_slots);
    auto got = format_all(batched, requests, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(got[i].has_value(), want[i].has_value()) << i;
      EXPECT_EQ(got[i] ? *got[i] : got[i].error(), want[i] ? *want[i] : want[i].error()) << i;
    }
    std::map<std::string, std::uint64_t> counts;
    for (const auto& [name, value] : batched.counts()) counts[std::string(name)] = value;
    EXPECT_EQ(counts["rustfmt_batches"], 1u);
    EXPECT_EQ(counts["batch_misses"], texts.size()) << "the failure spoils the whole batch";
    EXPECT_EQ(counts["rustfmt_plain"] + counts["rustfmt_served"], 1 + texts.size()) << "one batch, one run per text";
    EXPECT_EQ(counts["rustfmt_served"] != 0, fork_server);
  }
}

}  // namespace
}  // namespace tersify::driver
