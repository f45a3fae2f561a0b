// Whole runs of cargo-tersify, with the real cargo and rustfmt, on sources
// far from typical: megabytes in one file, nesting deeper than rustfmt can
// take, a line of megabytes, and CRLF line ends. No run may crash; a rustfmt
// failure must end the run cleanly with status 2 and leave the file alone.

#include <gtest/gtest.h>

#include <string>

#include "support/command.h"
#include "support/generated_rust.h"
#include "support/temp_dir.h"

namespace tersify::test {
namespace {

class StressRun : public ::testing::Test {
 protected:
  void write_package(const std::string& lib) {
    dir_.write("Cargo.toml", manifest("stress"));
    dir_.write("src/lib.rs", lib);
  }
  CommandResult tersify(std::vector<std::string> args = {}) {
    CommandOptions options;
    options.cwd = dir_.path();
    return run_tersify(args, options);
  }
  // The write run succeeds silently and leaves a layout that a check run
  // accepts without a report.
  void expect_write_then_clean_check() {
    auto write = tersify();
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(write.err, "");
    auto check = tersify({"--check"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "");
    EXPECT_EQ(check.err, "");
  }

  TempDir dir_;
};

TEST_F(StressRun, MegabyteFileIsCompactedAndStable) {
  // 20 MB takes rustfmt alone several seconds and a gigabyte of memory; that
  // size runs against `compact` in bench/stress.sh.
  constexpr std::size_t size = 1024 * 1024;
  std::string input = short_functions(size);
  input.resize(input.size() - 1);  // rustfmt keeps no blank line at the end
  write_package(input);
  expect_write_then_clean_check();
  std::string joined = short_functions_joined(size);
  joined.resize(joined.size() - 1);
  std::string output = dir_.read("src/lib.rs");
  EXPECT_TRUE(output == joined) << output.substr(0, 200);
}

TEST_F(StressRun, NestingBeyondRustfmtEndsWithStatusTwoAndLeavesTheFile) {
  std::string input = nested_blocks_on_one_line(100'000);
  write_package(input);
  auto run = tersify();
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("./src/lib.rs: ")) << run.err.substr(0, 300);
  EXPECT_TRUE(dir_.read("src/lib.rs") == input);
}

TEST_F(StressRun, MegabyteLineSurvivesUnchanged) {
  const std::string input = "pub const S: &str = \"" + std::string(2 * 1024 * 1024, 'a') + ", }\";\n";
  write_package(input);
  expect_write_then_clean_check();
  EXPECT_TRUE(dir_.read("src/lib.rs") == input);
}

TEST_F(StressRun, LongArrayOnOneLineIsBrokenAndStable) {
  std::string input = "pub const A: [u32; 100000] = [";
  for (int i = 0; i < 100'000; ++i) input += std::to_string(i) + ", ";
  input += "];\n";
  write_package(input);
  expect_write_then_clean_check();
}

TEST_F(StressRun, CrlfLineEndsBecomeLineFeedsAndTheLayoutIsStable) {
  // rustfmt reading standard input writes line feeds only, so the pass sees
  // no carriage return and the file ends up with plain line feeds.
  const std::string input =
      "pub fn f(x: u8) -> u8 {\r\n    match x {\r\n        0 => 1,\r\n        _ => x,\r\n    }\r\n}\r\n\r\n"
      "pub fn g(a: bool) {\r\n    if a {\r\n        f(0);\r\n    } else {\r\n        f(1);\r\n    }\r\n    "
      "f(2);\r\n}\r\n";
  write_package(input);
  expect_write_then_clean_check();
  EXPECT_EQ(dir_.read("src/lib.rs"),
            "pub fn f(x: u8) -> u8 { match x { 0 => 1, _ => x } }\n\n"
            "pub fn g(a: bool) {\n    if a { f(0); }\n    else { f(1); }\n    f(2);\n}\n");
}

}  // namespace
}  // namespace tersify::test
