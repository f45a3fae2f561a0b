// The whole pass on formatter-shaped Rust: the joining rounds and the closing
// else split together.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "compact/compact.h"
#include "support/command.h"
#include "verify_compact.h"

namespace tersify::compact {
namespace {

TEST(CompactPass, WorkedExamples) {
  verify_compact("fn one() -> i32 { 1 }\n", "fn one() -> i32 {\n    1\n}\n", 100);
  verify_compact("impl P { fn zero() -> u8 { 0 } }\n", "impl P {\n    fn zero() -> u8 {\n        0\n    }\n}\n", 100);
  verify_compact("fn f() {\n    if a { b(); }\n    else { c(); }\n    d();\n}\n",
                 "fn f() {\n    if a {\n        b();\n    } else {\n        c();\n    }\n    d();\n}\n", 100);
}

TEST(CompactPass, RoundsNeeded) {
  CompactStats stats;
  EXPECT_EQ("impl P { fn zero() -> u8 { 0 } }\n",
            compact("impl P {\n    fn zero() -> u8 {\n        0\n    }\n}\n", 100, stats));
  EXPECT_EQ(3u, stats.rounds);
  EXPECT_EQ("fn f() {}\n", compact("fn f() {}\n", 100, stats));
  EXPECT_EQ(1u, stats.rounds);
}

TEST(CompactPass, EmptyText) { verify_compact("", "", 100); }

TEST(CompactPass, DeeplyNestedIfChains) {
  constexpr std::size_t depth = 5000;
  std::string text = "fn f() {\n";
  for (std::size_t i = 0; i < depth; ++i) text += "if a { b(); } else if c {\n";
  text += "d();\n";
  for (std::size_t i = 0; i < depth; ++i) text += "}\n";
  text += "e();\n}\n";
  std::string result = compact(text, 100);
  // Only the outermost chain is a statement with a statement after it; the
  // inner ones give their blocks' values.
  EXPECT_TRUE(result.starts_with("fn f() {\nif a { b(); }\nelse if c {\nif a { b(); } else if c {\n"));
  EXPECT_NE(std::string::npos, result.find("\nif a { b(); } else if c { if a { b(); } else if c { if a { b(); } else if c { d(); } } }\n}\n"));
}

TEST(CompactPass, LargeGeneratedFile) {
  std::string text, expected;
  for (int i = 0; i < 10000; ++i) {
    std::string n = std::to_string(i);
    text += "fn f" + n + "(x: u8) -> u8 {\n    match x {\n        0 => 1,\n        _ => {\n            if x > 1 {\n"
            "                x - 1\n            } else {\n                x\n            }\n        }\n    }\n}\n"
            "enum E" + n + " {\n    A,\n    B(u8),\n}\n";
    expected += "fn f" + n + "(x: u8) -> u8 {\n    match x {\n        0 => 1,\n        _ => {\n"
                "            if x > 1 { x - 1 } else { x }\n        }\n    }\n}\nenum E" + n + " { A, B(u8) }\n";
  }
  CompactStats stats;
  EXPECT_TRUE(compact(text, 100, stats) == expected);
  EXPECT_EQ(2u, stats.rounds);
}

TEST(CompactPass, AfterRealRustfmt) {
  std::string source =
      "struct Point { x: i32, y: i32 }\n"
      "impl Point { fn norm(&self) -> i32 { if self.x > self.y { self.x } else { self.y } } }\n"
      "fn main() { let p = Point { x: 1, y: 2 }; if p.norm() > 1 { println!(\"big\"); } else { println!(\"small\"); }\n"
      "match p.x { 0 => {}, _ => println!(\", }\") } }\n";
  tersify::test::CommandOptions options;
  options.input = source;
  tersify::test::CommandResult formatted =
      tersify::test::run_command({"rustfmt", "--edition", "2021", "--emit", "stdout", "--config",
                         "max_width=100,use_small_heuristics=Max,disable_all_formatting=false"},
                        options);
  ASSERT_EQ(0, formatted.status) << formatted.err;
  ASSERT_NE(std::string::npos, formatted.out.find("    fn norm(&self) -> i32 {\n"));
  EXPECT_EQ(
      "struct Point { x: i32, y: i32 }\n"
      "impl Point { fn norm(&self) -> i32 { if self.x > self.y { self.x } else { self.y } } }\n"
      "fn main() {\n"
      "    let p = Point { x: 1, y: 2 };\n"
      "    if p.norm() > 1 { println!(\"big\"); }\n"
      "    else { println!(\"small\"); }\n"
      "    match p.x { 0 => {} _ => println!(\", }\") }\n"
      "}\n",
      compact(formatted.out, 100));
}

}  // namespace
}  // namespace tersify::compact
