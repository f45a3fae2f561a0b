// Applying edit lists: order, insertions, growth and shrinkage, and the
// checks that guard the text.

#include "compact/source_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tersify::compact {
namespace {

TEST(ApplyEdits, EmptyListCopiesTheText) {
  EXPECT_EQ("fn f() {}\n", apply_edits("fn f() {}\n", {}));
  EXPECT_EQ("", apply_edits("", {}));
}

TEST(ApplyEdits, EachEditUsesOffsetsOfTheInput) {
  std::string text = "if a {\n    x\n} else {\n    y\n}";
  // Appended in ascending order; longer and shorter replacements mixed.
  std::vector<SourceEdit> edits{{5, 14, "{ x }"}, {14, 14, "\n"}, {20, 29, "{ y }"}};
  EXPECT_EQ("if a { x }\n else { y }", apply_edits(text, edits));
  EXPECT_EQ("abXYcd", apply_edits("abcd", {{2, 2, "XY"}}));
  EXPECT_EQ("ad", apply_edits("abcd", {{1, 3, ""}}));
}

TEST(ApplyEdits, LongListInAnyAppendOrder) {
  std::string text, expected;
  std::vector<SourceEdit> edits;
  for (std::size_t i = 0; i < 60; ++i) {
    text += "ab";
    expected += i % 2 == 0 ? "<a>b" : "b";
  }
  for (std::size_t i = 0; i < 60; ++i) {
    std::size_t k = (i * 37) % 60;  // a scrambled order
    edits.push_back({2 * k, 2 * k + 1, k % 2 == 0 ? "<a>" : ""});
  }
  EXPECT_EQ(expected, apply_edits(text, edits));
}

TEST(ApplyEdits, InsertionsAtOneOffsetKeepTheirAppendOrderOfApplication) {
  // The first appended is applied first, so the later one ends up in front.
  EXPECT_EQ("a21b", apply_edits("ab", {{1, 1, "1"}, {1, 1, "2"}}));
}

TEST(ApplyEdits, MultiByteCharactersStayWhole) {
  EXPECT_EQ("é = ü", apply_edits("é=ü", {{2, 2, " "}, {3, 3, " "}}));
}

TEST(ApplyEditsDeathTest, BrokenEditsAreInternalErrors) {
  EXPECT_EXIT(apply_edits("abc", {{2, 4, ""}}), ::testing::ExitedWithCode(101),
              "^cargo-tersify: internal error: edit 2..4 ");
  EXPECT_EXIT(apply_edits("abc", {{2, 1, ""}}), ::testing::ExitedWithCode(101), "edit 2..1 ");
  EXPECT_EXIT(apply_edits("é", {{1, 2, ""}}), ::testing::ExitedWithCode(101), "edit 1..2 ");
  EXPECT_EXIT(apply_edits("é", {{0, 1, ""}}), ::testing::ExitedWithCode(101), "edit 0..1 ");
}

}  // namespace
}  // namespace tersify::compact
