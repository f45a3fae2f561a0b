// The grammar, the parser and the guarded access to node ranges.

#include "compact/syntax_tree.h"

#include <gtest/gtest.h>

#include <string>


namespace tersify::compact {
namespace {

bool is_function(TSNode node) { return std::string_view(ts_node_type(node)) == "function_item"; }

TEST(SyntaxTree, GrammarLoadsAndParsesRust) {
  EXPECT_EQ(15u, ts_language_abi_version(tree_sitter_rust()));
  Result<ParserPtr, LanguageError> made = parser();
  ASSERT_TRUE(made.has_value());
  EXPECT_EQ(tree_sitter_rust(), ts_parser_language(made->get()));

  std::string text = "fn main() {\n    let x = 1;\n}\n";
  TreePtr tree = parse_text(text);
  TSNode root = root_node(*tree);
  EXPECT_STREQ("source_file", ts_node_type(root));
  EXPECT_FALSE(ts_node_has_error(root));
  TSNode function = ts_node_named_child(root, 0);
  EXPECT_STREQ("function_item", ts_node_type(function));
  EXPECT_EQ("fn main() {\n    let x = 1;\n}", node_text(text, function));
}

TEST(SyntaxTree, EmptyTextGivesRootWithoutChildren) {
  TreePtr tree = parse_text("");
  TSNode root = root_node(*tree);
  EXPECT_EQ(0u, ts_node_child_count(root));
  EXPECT_EQ(0u, ts_node_end_byte(root));
}

TEST(SyntaxTree, SyntaxErrorsStillGiveATree) {
  std::string text = "fn f( {\n    let = ;\n}\nstruct";
  TreePtr tree = parse_text(text);
  TSNode root = root_node(*tree);
  EXPECT_TRUE(ts_node_has_error(root));
  EXPECT_EQ(text.size(), ts_node_end_byte(root));
}

TEST(SyntaxTree, WalkVisitsEveryNodeInDocumentOrder) {
  std::string text = "fn f() { g(1, \"s\"); }";
  TreePtr tree = parse_text(text);
  std::string entered, left;
  int depth = 0, max_depth = 0;
  walk_tree(
      root_node(*tree),
      [&](TSNode node) {
        if (ts_node_child_count(node) == 0) entered += std::string(node_text(text, node)) + "|";
        max_depth = std::max(max_depth, ++depth);
        return true;
      },
      [&](TSNode node, bool is_leaf) {
        EXPECT_EQ(ts_node_child_count(node) == 0, is_leaf);
        if (is_leaf) left += std::string(node_text(text, node)) + "|";
        --depth;
      });
  EXPECT_EQ(0, depth);
  EXPECT_GT(max_depth, 5);
  EXPECT_EQ("fn|f|(|)|{|g|(|1|,|\"|s|\"|)|;|}|", entered);
  EXPECT_EQ(entered, left);
}

TEST(SyntaxTree, WalkPassesOverChildrenWhenAsked) {
  std::string text = "fn f() { g(); }\nfn h() {}\n";
  TreePtr tree = parse_text(text);
  std::string seen;
  walk_tree(
      root_node(*tree),
      [&](TSNode node) {
        seen += std::string("<") + ts_node_type(node);
        return !is_function(node);
      },
      [&](TSNode node, bool is_leaf) { seen += is_leaf ? std::string(node_text(text, node)) + ">" : ">"; });
  EXPECT_EQ("<source_file<function_itemfn f() { g(); }><function_itemfn h() {}>>", seen);
}

TEST(SyntaxTreeDeathTest, RangeOffACharacterIsAnInternalError) {
  std::string text = "let s = \"é\";";
  EXPECT_EXIT(checked_range(text, 10, 12), ::testing::ExitedWithCode(101),
              "^cargo-tersify: internal error: byte range 10..12 is reversed, runs past the end or splits a character "
              "of a text of 13 bytes\n$");
  EXPECT_EXIT(checked_range(text, 5, 4), ::testing::ExitedWithCode(101), "byte range 5..4");
  EXPECT_EXIT(checked_range(text, 0, 14), ::testing::ExitedWithCode(101), "byte range 0..14");
  ByteRange whole = checked_range(text, 9, 11);
  EXPECT_EQ(9u, whole.start);
  EXPECT_EQ(11u, whole.end);
}

}  // namespace
}  // namespace tersify::compact
