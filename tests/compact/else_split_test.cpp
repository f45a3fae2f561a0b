// Moving `else` to lines of its own in if chains that stand as statements.

#include "compact/else_split.h"

#include <gtest/gtest.h>

#include <string>

#include "compact/compact.h"

namespace tersify::compact {
namespace {

void verify_split_at(const char* file, int line, std::string_view expected, std::string_view input) {
  ::testing::ScopedTrace trace(file, line, "verify_split");
  EXPECT_EQ(std::string(expected), split_statement_elses(input)) << "input:\n" << input;
}
#define verify_split(expected, input) verify_split_at(__FILE__, __LINE__, expected, input)

TEST(ElseSplit, StatementChainsBreakBeforeEachElse) {
  verify_split("fn f() {\n    if a { b(); }\n    else { c(); }\n    d();\n}\n",
               "fn f() {\n    if a { b(); } else { c(); }\n    d();\n}\n");
  verify_split("        if a { x(); }\n        else if b { y(); }\n        else { z(); }\n        w();\n",
               "        if a { x(); } else if b { y(); } else { z(); }\n        w();\n");
  // A semicolon makes the last statement of a body qualify too.
  verify_split("fn f() {\n    if a { b() }\n    else { c() };\n}\n", "fn f() {\n    if a { b() } else { c() };\n}\n");
  // A comment after the chain is a named sibling.
  verify_split("fn f() {\n    if a { b(); }\n    else { c(); }\n    // done\n}\n",
               "fn f() {\n    if a { b(); } else { c(); }\n    // done\n}\n");
}

TEST(ElseSplit, ValueChainsStay) {
  for (const char* text : {
           "fn f() {\n    let v = if a { 1 } else { 2 };\n    g(v);\n}\n",
           "fn f() -> u8 {\n    g();\n    if a { 1 } else { 2 }\n}\n",
           "fn f() {\n    g(if a { 1 } else { 2 });\n}\n",
           "fn f(x: u8) {\n    match x {\n        1 => if a { b() } else { c() },\n        _ => {}\n    }\n}\n",
           "fn f() {\n    if a { b(); }\n    c();\n}\n",
       }) {
    verify_split(text, text);
  }
}

TEST(ElseSplit, GapsThatAreNotABlankStay) {
  verify_split("fn f() {\n    if a { x(); } /* then */ else if b { y(); }\n    else { z(); }\n    w();\n}\n",
               "fn f() {\n    if a { x(); } /* then */ else if b { y(); } else { z(); }\n    w();\n}\n");
  std::string split = "fn f() {\n    if a {\n        x();\n    }\n    else {\n        y();\n    }\n    w();\n}\n";
  verify_split(split, split);
  verify_split("fn f() {\n    if a { x(); }\n    else { y(); }\n    w();\n}\n", "fn f() {\n    if a { x(); }else { y(); }\n    w();\n}\n");
}

TEST(ElseSplit, IndentationIsTheColumnOfTheIf) {
  // Counting every byte before the `if` on its line.
  verify_split("fn f() {\n    g(); if a { b(); }\n         else { c(); }\n    d();\n}\n",
               "fn f() {\n    g(); if a { b(); } else { c(); }\n    d();\n}\n");
  // An if statement inside a branch of another one gets its own column.
  verify_split("fn f() {\n    if a {\n        if b { c(); }\n        else { d(); }\n        e();\n    }\n    else { g(); }\n    h();\n}\n",
               "fn f() {\n    if a {\n        if b { c(); } else { d(); }\n        e();\n    } else { g(); }\n    h();\n}\n");
  // Inside a block that gives a value, the inner statement still splits.
  verify_split("fn f() -> u8 {\n    if a {\n        if b { c(); }\n        else { d(); }\n        1\n    } else { 2 }\n}\n",
               "fn f() -> u8 {\n    if a {\n        if b { c(); } else { d(); }\n        1\n    } else { 2 }\n}\n");
}

TEST(ElseSplit, CrLfTextsGetALineFeedOnly) {
  verify_split("fn f() {\r\n    if a { b(); }\n    else { c(); }\r\n    d();\r\n}\r\n",
               "fn f() {\r\n    if a { b(); } else { c(); }\r\n    d();\r\n}\r\n");
}

TEST(ElseSplit, RunsAfterTheRoundsEvenWhenNothingJoins) {
  EXPECT_EQ("fn f() {\n    if a { b(); }\n    else { c(); }\n    d();\n}\n",
            compact("fn f() {\n    if a { b(); } else { c(); }\n    d();\n}\n", 100));
}

}  // namespace
}  // namespace tersify::compact
