// Compaction taken one step at a time must give compact()'s text exactly,
// whichever way the rounds end: early on a round without edits (whose tree
// the else splitting reuses) or at the round limit (after which the text is
// parsed once more).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compact/compact.h"
#include "support/command.h"

namespace tersify::compact {
namespace {

std::string rustfmt_output(const std::string& source, std::size_t width) {
  test::CommandOptions options;
  options.input = source;
  test::CommandResult formatted = test::run_command(
      {"rustfmt", "--edition", "2021", "--emit", "stdout", "--config",
       "max_width=" + std::to_string(width) + ",use_small_heuristics=Max,disable_all_formatting=false"},
      options);
  EXPECT_EQ(0, formatted.status) << formatted.err;
  return formatted.out;
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Steps `text` to the end, checking the step count against the rounds that
// compact() reports, and gives the result.
std::string stepped(const std::string& text, std::size_t width) {
  CompactStats stats;
  std::string expected = compact(text, width, stats);
  Compaction compaction(text, width);
  std::size_t steps = 0;
  while (!compaction.step()) {
    ++steps;
    EXPECT_FALSE(compaction.finished());
  }
  ++steps;
  EXPECT_TRUE(compaction.finished());
  EXPECT_TRUE(compaction.step()) << "a finished compaction stays finished";
  EXPECT_EQ(stats.rounds + 1, steps) << "one step per round, then the else splitting";
  EXPECT_EQ(stats.rounds, compaction.rounds());
  std::string result = compaction.result();
  EXPECT_TRUE(result == expected) << "stepping changed the result";
  return result;
}

TEST(CompactionSteps, GiveCompactsTextOnRealRustfmtOutput) {
  // Nesting that takes every round, and an else chain left for the split.
  std::string deep;
  for (int i = 0; i < 50; ++i) {
    deep += "fn f" + std::to_string(i) + "() -> u8 { { { { { { 0 } } } } } }\n";
  }
  deep += "fn g(a: bool) { if a { b(); } else { c(); } d(); }\n";
  CompactStats stats;
  std::string formatted = rustfmt_output(deep, 100);
  std::string result = stepped(formatted, 100);
  (void)compact(formatted, 100, stats);
  EXPECT_EQ(5u, stats.rounds);
  EXPECT_NE(std::string::npos, result.find("fn f7() -> u8 {\n    { { { { { 0 } } } } }\n}\n"));
  EXPECT_NE(std::string::npos, result.find("    if a { b(); }\n    else { c(); }\n"));

  // Rounds that run out early, and a text with nothing to do.
  EXPECT_EQ("fn f() {}\n", stepped(rustfmt_output("fn  f( ) { }", 100), 100));
  EXPECT_EQ("", stepped("", 100));

  std::vector<std::filesystem::path> files;
  for (const char* name : {"hashbrown-0.12.3/src/map.rs", "memchr-2.5.0/src/memchr/mod.rs", "nom-7.1.1/src/multi/mod.rs"}) {
    std::filesystem::path path = std::filesystem::path("/usr/share/cargo/registry") / name;
    if (std::filesystem::exists(path)) files.push_back(path);
  }
  if (files.empty()) GTEST_SKIP() << "install librust-hashbrown-dev, librust-memchr-dev or librust-nom-dev";
  for (const auto& path : files) {
    SCOPED_TRACE(path.string());
    for (std::size_t width : {60u, 100u}) stepped(rustfmt_output(read_whole(path), width), width);
  }
}

}  // namespace
}  // namespace tersify::compact
