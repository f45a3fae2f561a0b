// The whole pass on formatter-shaped Rust: the joining rounds and the closing
// else split together.

#include <gtest/gtest.h>

#include "compact/compact.h"
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

}  // namespace
}  // namespace tersify::compact
