// Which constructs join: the five candidate kinds and their member limits, and
// everything that keeps a construct on several lines. Inputs are laid out as
// rustfmt lays them out.

#include <gtest/gtest.h>

#include "compact/compact.h"
#include "verify_compact.h"

namespace tersify::compact {
namespace {

TEST(Candidates, BlocksHoldOneMember) {
  verify_compact("fn f() { g(); }\n", "fn f() {\n    g();\n}\n", 100);
  verify_compact("fn f() {\n    g();\n    h();\n}\n", "fn f() {\n    g();\n    h();\n}\n", 100);
  verify_compact("fn f() { }\n", "fn f() {\n}\n", 100);
  verify_compact("fn f() {\n    let c = || { g() };\n    unsafe { h() }\n}\n",
                 "fn f() {\n    let c = || {\n        g()\n    };\n    unsafe {\n        h()\n    }\n}\n", 100);
  verify_compact("fn f() {\n    for x in y { g(x); }\n    loop { h(); }\n}\n",
                 "fn f() {\n    for x in y {\n        g(x);\n    }\n    loop {\n        h();\n    }\n}\n", 100);
}

TEST(Candidates, ItemBodiesHoldOneMember) {
  verify_compact("impl P { fn a() {} }\n", "impl P {\n    fn a() {}\n}\n", 100);
  verify_compact("trait T { fn a(&self); }\n", "trait T {\n    fn a(&self);\n}\n", 100);
  verify_compact("mod m { use super::*; }\n", "mod m {\n    use super::*;\n}\n", 100);
  verify_compact("extern \"C\" { fn abs(x: i32) -> i32; }\n", "extern \"C\" {\n    fn abs(x: i32) -> i32;\n}\n", 100);
  verify_compact("impl P {\n    fn a() {}\n    fn b() {}\n}\n", "impl P {\n    fn a() {}\n    fn b() {}\n}\n", 100);
}

TEST(Candidates, ListsHoldThreeMembers) {
  verify_compact("enum E { A, B, C }\n", "enum E {\n    A,\n    B,\n    C,\n}\n", 100);
  verify_compact("enum E {\n    A,\n    B,\n    C,\n    D,\n}\n", "enum E {\n    A,\n    B,\n    C,\n    D,\n}\n", 100);
  verify_compact("struct S { a: u8, b: u16, c: u32 }\n", "struct S {\n    a: u8,\n    b: u16,\n    c: u32,\n}\n", 100);
  verify_compact("enum E { A { x: u8, y: u8 }, B }\n", "enum E {\n    A {\n        x: u8,\n        y: u8,\n    },\n    B,\n}\n",
                 100);
  verify_compact("fn f(x: u8) -> u8 { match x { 1 => a, 2 => b, _ => c } }\n",
                 "fn f(x: u8) -> u8 {\n    match x {\n        1 => a,\n        2 => b,\n        _ => c,\n    }\n}\n", 100);
  std::string four_arms =
      "fn f(x: u8) -> u8 {\n    let y = x;\n    match y {\n        1 => a,\n        2 => b,\n        3 => c,\n        _ => d,\n"
      "    }\n}\n";
  verify_compact(four_arms, four_arms, 100);
  // A match block is no block: a body around it joins with it.
  verify_compact("fn f(x: u8) -> u8 { match x { 1 => a, 2 => b, 3 => c, _ => d } }\n",
                 "fn f(x: u8) -> u8 {\n    match x {\n        1 => a,\n        2 => b,\n        3 => c,\n        _ => d,\n    }\n}\n",
                 100);
}

TEST(Candidates, AttributesAndCommentsCountAsMembers) {
  verify_compact("enum E {\n    A,\n    #[default]\n    B,\n    C,\n}\n", "enum E {\n    A,\n    #[default]\n    B,\n    C,\n}\n", 100);
  verify_compact("impl P {\n    #[inline]\n    fn zero() -> u8 { 0 }\n}\n",
                 "impl P {\n    #[inline]\n    fn zero() -> u8 {\n        0\n    }\n}\n", 100);
  verify_compact("fn f() {\n    // why\n    g();\n}\n", "fn f() {\n    // why\n    g();\n}\n", 100);
}

TEST(Candidates, CommentsInsideKeepTheLines) {
  // Within the member limit, but a comment anywhere inside prevents the join.
  verify_compact("struct S {\n    /// doc\n    a: u8,\n    b: u8,\n}\n", "struct S {\n    /// doc\n    a: u8,\n    b: u8,\n}\n", 100);
  verify_compact("fn f() {\n    // nothing yet\n}\n", "fn f() {\n    // nothing yet\n}\n", 100);
  verify_compact("fn f() {\n    g(a /* why */, b);\n}\n", "fn f() {\n    g(a /* why */, b);\n}\n", 100);
  verify_compact("fn f() {\n    g(|| 1 // one\n    );\n}\n", "fn f() {\n    g(|| 1 // one\n    );\n}\n", 100);
  verify_compact("fn f() {\n    g(\n        a, /* first */\n        b,\n    );\n}\n",
                 "fn f() {\n    g(\n        a, /* first */\n        b,\n    );\n}\n", 100);
}

TEST(Candidates, TokensSpanningLinesKeepTheLines) {
  verify_compact("fn f() {\n    g(\"a\n b\");\n}\n", "fn f() {\n    g(\"a\n b\");\n}\n", 100);
  verify_compact("fn f() {\n    g(r#\"a\n\"#);\n}\n", "fn f() {\n    g(r#\"a\n\"#);\n}\n", 100);
  verify_compact("fn f() {\n    g(\"a\\\n     b\");\n}\n", "fn f() {\n    g(\"a\\\n     b\");\n}\n", 100);
}

TEST(Candidates, MatchArmBodiesNeverJoin) {
  std::string arm = "fn f(x: u8) {\n    match x {\n        1 => {\n            g();\n        }\n        _ => h(),\n    }\n}\n";
  verify_compact(arm, arm, 100);
  // Blocks inside an arm's body still join; the arm's body and the match stay.
  verify_compact(
      "fn f(x: u8) {\n    match x {\n        1 => {\n            if a { b(); }\n            c();\n        }\n        _ => d(),\n    }\n}\n",
      "fn f(x: u8) {\n    match x {\n        1 => {\n            if a {\n                b();\n            }\n            c();\n        }\n"
      "        _ => d(),\n    }\n}\n",
      100);
}

TEST(Candidates, NestedBlocksCloseOneLevelPerRound) {
  CompactStats stats;
  EXPECT_EQ("fn f() { g(|x| { h(x); }); }\n", compact("fn f() {\n    g(|x| {\n        h(x);\n    });\n}\n", 100, stats));
  EXPECT_EQ(3u, stats.rounds);
  // A block that stays on several lines holds the enclosing one back for good.
  verify_compact("fn f() {\n    g(|x| {\n        h(x);\n        i(x);\n    });\n}\n",
                 "fn f() {\n    g(|x| {\n        h(x);\n        i(x);\n    });\n}\n", 100);
}

TEST(Candidates, FiveRoundsAtMost) {
  std::string six_levels =
      "fn f() {\n    loop {\n        loop {\n            loop {\n                loop {\n                    loop {\n"
      "                        x();\n                    }\n                }\n            }\n        }\n    }\n}\n";
  CompactStats stats;
  EXPECT_EQ("fn f() {\n    loop { loop { loop { loop { loop { x(); } } } } }\n}\n", compact(six_levels, 100, stats));
  EXPECT_EQ(5u, stats.rounds);

  std::string five_levels =
      "fn f() {\n    loop {\n        loop {\n            loop {\n                loop {\n                    x();\n"
      "                }\n            }\n        }\n    }\n}\n";
  EXPECT_EQ("fn f() { loop { loop { loop { loop { x(); } } } } }\n", compact(five_levels, 100, stats));
  EXPECT_EQ(5u, stats.rounds);
}

TEST(Candidates, OtherBracketsJoinOnlyInsideACandidate) {
  std::string items =
      "use a::{\n    b,\n    c,\n};\nconst X: [u8; 2] = [\n    1,\n    2,\n];\nstruct T(\n    u8,\n);\n"
      "macro_rules! m {\n    ($b:block) => {\n        $b\n    };\n}\n";
  verify_compact(items, items, 100);
  verify_compact("fn f() { S { a: 1, b: vec![ 1, 2,], c: g( x, y,) } }\n",
                 "fn f() {\n    S {\n        a: 1,\n        b: vec![\n            1, 2,\n        ],\n        c: g(\n            x,\n"
                 "            y,\n        ),\n    }\n}\n",
                 100);
}

TEST(Candidates, LiteralsKeepCommaBeforeBrace) {
  verify_compact("fn f() -> S { S { a: \", }\", b: 1 } }\n", "fn f() -> S {\n    S {\n        a: \", }\",\n        b: 1,\n    }\n}\n", 100);
  verify_compact("fn f() { g(r#\", }\"#, b\", }\", br\", }\", c\", }\"); }\n",
                 "fn f() {\n    g(r#\", }\"#, b\", }\", br\", }\", c\", }\");\n}\n", 100);
  // Inside a macro's braces every comma stays.
  verify_compact("fn f() { m! { \", }\", ',', x, } }\n", "fn f() {\n    m! {\n        \", }\", ',',\n        x,\n    }\n}\n", 100);
}

TEST(Candidates, SyntaxErrorsAreWalkedThrough) {
  verify_compact("fn f() { g(); }\nfn ) {\n    let = ;\n}\nfn h() { i(); }\n",
                 "fn f() {\n    g();\n}\nfn ) {\n    let = ;\n}\nfn h() {\n    i();\n}\n", 100);
  verify_compact("fn f() {\n    g(\n", "fn f() {\n    g(\n", 100);
}

}  // namespace
}  // namespace tersify::compact
