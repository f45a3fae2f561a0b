// The compaction pass on inputs far beyond real source files: megabytes,
// nesting a hundred thousand levels deep, and lines of megabytes. Each must
// come out exactly as the joining rules say, without exhausting the stack.

#include <gtest/gtest.h>

#include <string>

#include "compact/compact.h"
#include "support/generated_rust.h"

namespace tersify::compact {
namespace {

using tersify::test::nested_blocks_on_lines;
using tersify::test::nested_blocks_on_one_line;

// 20 MB and more are for bench/stress.sh; the test keeps to a size that
// still holds far more joins than any real file.
TEST(CompactStress, MegabytesOfShortFunctionsAreAllJoined) {
  constexpr std::size_t size = 4 * 1024 * 1024;
  std::string input = tersify::test::short_functions(size);
  std::string output = compact(input, 160);
  EXPECT_TRUE(output == tersify::test::short_functions_joined(size)) << "first bytes: " << output.substr(0, 200);
}

TEST(CompactStress, DeepNestingClosesFiveLevelsAndNoMore) {
  // Each round joins the innermost block that still spans lines; the pass
  // stops after five rounds.
  constexpr std::size_t depth = 100'000;
  std::string expected = "fn main() {\n";
  for (std::size_t i = 0; i < depth - 5; ++i) expected += "{\n";
  expected += "{ { { { { } } } } }\n";
  for (std::size_t i = 0; i < depth - 5; ++i) expected += "}\n";
  expected += "}\n";
  std::string output = compact(nested_blocks_on_lines(depth), 160);
  EXPECT_TRUE(output == expected) << "output has " << output.size() << " bytes, expected " << expected.size();
}

// A construct on the text's first line is measured from column 0, so the
// width cases below start with a line of their own.
const std::string first_line = "// generated\n";

TEST(CompactStress, DeepNestingOnOneLineJoinsOnlyWhenTheLineFits) {
  constexpr std::size_t depth = 100'000;
  std::string input = first_line + nested_blocks_on_one_line(depth);
  EXPECT_TRUE(compact(input, 160) == input);

  std::string joined = first_line + "fn main() { ";
  joined.append(depth, '{');
  joined.append(depth, '}');
  joined += " }\n";
  EXPECT_TRUE(compact(input, 2 * depth + 14) == joined);
  EXPECT_TRUE(compact(input, 2 * depth + 13) == input);
}

TEST(CompactStress, MegabyteLinesAreMeasuredInBytes) {
  const std::string word(4 * 1024 * 1024, 'a');
  const std::string literal = "pub const S: &str = \"" + word + ", }\";\n";
  EXPECT_TRUE(compact(literal, 160) == literal);

  // A body whose single statement is a megabyte long: joined only when the
  // whole line fits. "fn f() { g(\"" is 12 bytes, "\"); }" 5.
  const std::string body = first_line + "fn f() {\n    g(\"" + word + "\");\n}\n";
  const std::string one_line = first_line + "fn f() { g(\"" + word + "\"); }\n";
  EXPECT_TRUE(compact(body, word.size() + 17) == one_line);
  EXPECT_TRUE(compact(body, word.size() + 16) == body);
}

}  // namespace
}  // namespace tersify::compact
