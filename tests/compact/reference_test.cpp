// The pass against a plain model of its rules: a top-down walk in document
// order that measures each candidate with the joins before it made, scans
// each candidate's subtree again, asks the library for parents and siblings,
// joins lines in two steps and measures with whole-text searches. The engine
// computes the same decisions in one bottom-up walk per round and skips
// subtrees that cannot matter; both must give the same text on real code.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compact/compact.h"
#include "compact/else_split.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"
#include "util/text.h"

namespace tersify::compact {
namespace {

std::vector<TSNode> children(TreeCursor& cursor, TSNode node) {
  std::vector<TSNode> out;
  cursor.reset(node);
  cursor.goto_first_child();
  for (std::uint32_t i = 0; i < ts_node_child_count(node); ++i) {
    out.push_back(cursor.current());
    cursor.goto_next_sibling();
  }
  return out;
}

bool is(TSNode node, const char* kind) { return std::strcmp(ts_node_type(node), kind) == 0; }

std::size_t limit_of(TSNode node) {
  if (is(node, "block") || is(node, "declaration_list")) return 1;
  if (is(node, "match_block") || is(node, "enum_variant_list") || is(node, "field_declaration_list")) return 3;
  return 0;
}

std::string model_join(std::string_view text, std::size_t start, std::size_t end,
                       const std::vector<std::pair<std::size_t, std::size_t>>& literals) {
  std::string joined;
  std::vector<bool> in_literal;
  auto append = [&](std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to; ++at) {
      joined.push_back(text[at]);
      bool inside = false;
      for (const auto& [s, e] : literals) inside = inside || (s <= at && at < e);
      in_literal.push_back(inside);
    }
  };
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  std::size_t at = start;
  while (at < end) {
    std::size_t lf = text.find('\n', at);
    if (lf == std::string_view::npos || lf >= end) {
      lines.push_back({at, end});
      break;
    }
    lines.push_back({at, lf > at && text[lf - 1] == '\r' ? lf - 1 : lf});
    at = lf + 1;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto [from, to] = lines[i];
    if (i > 0) {
      std::string_view line = text.substr(from, to - from);
      from = to - trim_start_whitespace(line).size();
      if (from == to || std::strchr(",.;?)]", text[from]) == nullptr) {
        joined.push_back(' ');
        in_literal.push_back(false);
      }
    }
    append(from, to);
  }
  std::string out;
  for (std::size_t i = 0; i < joined.size();) {
    if (joined.compare(i, 3, ", }") == 0 && !in_literal[i] && !in_literal[i + 1] && !in_literal[i + 2]) {
      out += " }";
      i += 3;
    } else {
      out.push_back(joined[i++]);
    }
  }
  return out;
}

// `joins_before`: the round's joins so far, all of them before the node; the
// line the node would join onto is measured with them made.
std::optional<std::string> model_decide(std::string_view text, std::size_t max_width, TSNode node, TreeCursor& cursor,
                                        const std::vector<SourceEdit>& joins_before) {
  std::size_t limit = limit_of(node);
  if (limit == 0) return std::nullopt;
  TSNode parent = ts_node_parent(node);
  if (is(node, "block") && !ts_node_is_null(parent) && is(parent, "match_arm")) return std::nullopt;
  std::string_view t = node_text(text, node);
  if (t.find('\n') == std::string_view::npos) return std::nullopt;
  if (ts_node_named_child_count(node) > limit) return std::nullopt;
  std::vector<std::pair<std::size_t, std::size_t>> literals;
  std::vector<TSNode> stack{node};
  while (!stack.empty()) {
    TSNode n = stack.back();
    stack.pop_back();
    if (std::strstr(ts_node_type(n), "comment") != nullptr) return std::nullopt;
    if (ts_node_child_count(n) == 0 && node_text(text, n).find('\n') != std::string_view::npos) return std::nullopt;
    if (is(n, "string_literal") || is(n, "raw_string_literal") || is(n, "char_literal") || is(n, "token_tree")) {
      literals.push_back({ts_node_start_byte(n), ts_node_end_byte(n)});
    }
    for (TSNode child : children(cursor, n)) stack.push_back(child);
  }
  stack = children(cursor, node);
  while (!stack.empty()) {
    TSNode n = stack.back();
    stack.pop_back();
    if (is(n, "block") && node_text(text, n).find('\n') != std::string_view::npos) return std::nullopt;
    for (TSNode child : children(cursor, n)) stack.push_back(child);
  }
  std::size_t start = ts_node_start_byte(node), end = ts_node_end_byte(node);
  std::string joined = model_join(text, start, end, literals);
  std::string prefix = apply_edits(text.substr(0, start), joins_before);
  std::size_t before = prefix.rfind('\n');
  std::size_t column = before == std::string::npos ? prefix.size() : prefix.size() - before - 1;
  std::size_t after = text.find('\n', end);
  std::size_t rest = after == std::string_view::npos ? 0 : after - end;
  if (column + joined.size() + rest > max_width) return std::nullopt;
  return joined;
}

std::string model_round(std::string_view text, std::size_t max_width) {
  TreePtr tree = parse_text(text);
  TreeCursor cursor(root_node(*tree));
  std::vector<TSNode> stack{root_node(*tree)};
  std::vector<SourceEdit> edits;
  while (!stack.empty()) {
    TSNode node = stack.back();
    stack.pop_back();
    if (std::optional<std::string> joined = model_decide(text, max_width, node, cursor, edits)) {
      edits.push_back({ts_node_start_byte(node), ts_node_end_byte(node), std::move(*joined)});
    } else {
      // Decided in document order: the first child comes off the stack next.
      std::vector<TSNode> inside = children(cursor, node);
      stack.insert(stack.end(), inside.rbegin(), inside.rend());
    }
  }
  return apply_edits(text, std::move(edits));
}

std::string model_split(std::string_view text) {
  TreePtr tree = parse_text(text);
  TreeCursor cursor(root_node(*tree));
  std::vector<TSNode> stack{root_node(*tree)};
  std::vector<SourceEdit> edits;
  while (!stack.empty()) {
    TSNode node = stack.back();
    stack.pop_back();
    for (TSNode child : children(cursor, node)) stack.push_back(child);
    if (!is(node, "if_expression")) continue;
    TSNode x = node, statement = ts_node_parent(x);
    while (!ts_node_is_null(statement) && is(statement, "if_expression")) statement = ts_node_parent(x = statement);
    if (ts_node_is_null(statement) || !is(statement, "expression_statement")) continue;
    std::string_view trimmed = trim_end_whitespace(node_text(text, statement));
    bool semicolon = !trimmed.empty() && trimmed.back() == ';';
    if (ts_node_is_null(ts_node_next_named_sibling(statement)) && !semicolon) continue;
    std::string indent(1 + std::size_t{ts_node_start_point(node).column}, ' ');
    indent[0] = '\n';
    for (TSNode link = node;;) {
      TSNode consequence = ts_node_child_by_field_name(link, "consequence", 11);
      TSNode alternative = ts_node_child_by_field_name(link, "alternative", 11);
      if (ts_node_is_null(consequence) || ts_node_is_null(alternative)) break;
      std::size_t from = ts_node_end_byte(consequence), to = ts_node_start_byte(alternative);
      std::string_view gap = text.substr(from, to - from);
      if (gap.find('\n') == std::string_view::npos && trim_start_whitespace(gap).empty()) {
        edits.push_back({from, to, indent});
      }
      TSNode next = ts_node_named_child(alternative, 0);
      if (ts_node_is_null(next) || !is(next, "if_expression")) break;
      link = next;
    }
  }
  return apply_edits(text, std::move(edits));
}

std::string model_compact(std::string_view text, std::size_t max_width) {
  std::string working(text);
  for (int round = 0; round < 5; ++round) {
    std::string next = model_round(working, max_width);
    if (next == working) break;
    working = std::move(next);
  }
  return model_split(working);
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(ReferenceModel, SameDecisionsOnTheExamples) {
  for (const char* text : {
           "fn f() {\n    if a {\n        b();\n    } else {\n        c();\n    }\n    d();\n}\n",
           "impl P {\n    fn zero() -> u8 {\n        0\n    }\n}\n",
           "fn f() {\n    g(a /* why */, b);\n}\nfn g() {\n    if a { b(); } else if c { d(); }\n    e();\n}\n",
           "fn f() -> S {\n    S {\n        a: \", }\",\n        b: 1,\n    }\n}\n",
           "fn f(x: u8) {\n    match x {\n        1 => {\n            g();\n        }\n        _ => h(),\n    }\n}\n",
       }) {
    for (std::size_t width : {10u, 20u, 40u, 100u}) {
      EXPECT_EQ(model_compact(text, width), compact(text, width)) << text << "width " << width;
    }
  }
}

TEST(ReferenceModel, SameTextOnRealCrates) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/share/cargo/registry")) {
    std::string name = entry.path().filename().string();
    if (!name.starts_with("memchr-") && !name.starts_with("either-") && !name.starts_with("itertools-")) continue;
    for (const auto& file : std::filesystem::recursive_directory_iterator(entry.path())) {
      if (file.is_regular_file() && file.path().extension() == ".rs") files.push_back(file.path());
    }
  }
  if (files.empty()) GTEST_SKIP() << "install librust-memchr-dev and librust-itertools-dev for this test";
  for (const auto& path : files) {
    std::string text = read_whole(path);
    for (std::size_t width : {60u, 100u}) {
      std::string expected = model_compact(text, width);
      std::string actual = compact(text, width);
      EXPECT_TRUE(expected == actual) << path << " at width " << width;
    }
  }
}

}  // namespace
}  // namespace tersify::compact
