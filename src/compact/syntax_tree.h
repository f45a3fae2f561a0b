#pragma once
// Owned tree-sitter handles for the Rust grammar, parsing a whole text, and an
// iterative depth-first walk over a tree.
//
// Order of life for every parse: make the parser, set the language, parse,
// delete the parser, walk the tree (one cursor per walk), apply the step's
// edits, delete the tree. The text must outlive its tree: node offsets point
// into it.

#include <tree_sitter/api.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compact/byte_range.h"
#include "compact/source_edit.h"
#include "util/result.h"

extern "C" const TSLanguage* tree_sitter_rust(void);

namespace tersify::compact {

struct ParserDeleter {
  void operator()(TSParser* parser) const { ts_parser_delete(parser); }
};
struct TreeDeleter {
  void operator()(TSTree* tree) const { ts_tree_delete(tree); }
};
using ParserPtr = std::unique_ptr<TSParser, ParserDeleter>;
using TreePtr = std::unique_ptr<TSTree, TreeDeleter>;

// The grammar's ABI version lies outside what the library accepts (13 to 15).
struct LanguageError {
  std::size_t version = 0;
};

// "LanguageError { version: N }"
std::string debug_text(const LanguageError& error);

// A new parser set to the Rust grammar; the caller owns it.
Result<ParserPtr, LanguageError> parser();

// Parses the whole text from scratch with a parser made for this parse alone,
// which is deleted before returning. A refused grammar or a missing tree is an
// internal error.
TreePtr parse_text(std::string_view text);

// Parses `text` again after `old`, the tree of the text before some edits,
// was told of them with ts_tree_edit: the parser reuses what the edits left
// alone and gives the tree a parse from scratch would give.
TreePtr reparse_text(std::string_view text, const TSTree& old);

// Tells `tree`, parsed from `text`, of `edits` (sorted by start, without
// overlaps, none holding a line feed in its replacement), so that the next
// parse can reuse what they leave alone. Rows and columns come from one scan
// of the text; the edits go in from the last, so that the positions of the
// earlier ones still hold when their turn comes.
void tell_tree(TSTree& tree, std::string_view text, const std::vector<SourceEdit>& edits);

// The root node of `tree`; a null root is an internal error.
TSNode root_node(const TSTree& tree);

// A node's byte range, checked against the text it was parsed from: reversed,
// past the end or off a UTF-8 character boundary is an internal error.
ByteRange checked_range(std::string_view text, std::uint32_t start, std::uint32_t end);
inline ByteRange node_range(std::string_view text, TSNode node) {
  return checked_range(text, ts_node_start_byte(node), ts_node_end_byte(node));
}
inline std::string_view node_text(std::string_view text, TSNode node) {
  ByteRange range = node_range(text, node);
  return text.substr(range.start, range.end - range.start);
}

// Whether the node's text holds a line feed. The library counts rows by line
// feeds, so this needs no look at the text.
inline bool spans_lines(TSNode node) { return ts_node_end_point(node).row != ts_node_start_point(node).row; }

// Move-only owner of a tree cursor. It visits named and anonymous children
// alike, in document order.
class TreeCursor {
 public:
  explicit TreeCursor(TSNode node) : cursor_(ts_tree_cursor_new(node)) {}
  TreeCursor(const TreeCursor&) = delete;
  TreeCursor& operator=(const TreeCursor&) = delete;
  TreeCursor(TreeCursor&& other) noexcept : cursor_(other.cursor_), owned_(std::exchange(other.owned_, false)) {}
  TreeCursor& operator=(TreeCursor&&) = delete;
  ~TreeCursor() {
    if (owned_) ts_tree_cursor_delete(&cursor_);
  }

  void reset(TSNode node) { ts_tree_cursor_reset(&cursor_, node); }
  bool goto_first_child() { return ts_tree_cursor_goto_first_child(&cursor_); }
  bool goto_next_sibling() { return ts_tree_cursor_goto_next_sibling(&cursor_); }
  bool goto_parent() { return ts_tree_cursor_goto_parent(&cursor_); }
  TSNode current() const { return ts_tree_cursor_current_node(&cursor_); }
  std::uint32_t depth() const { return ts_tree_cursor_current_depth(&cursor_); }

 private:
  TSTreeCursor cursor_;
  bool owned_ = true;
};

// Visits every node below and including `root` depth first without recursion:
// `enter(node)` before a node's children, `leave(node, is_leaf)` after them.
// When `enter` returns false the node's children are passed over (`leave`
// then says is_leaf = true). The cursor itself is the work stack, so memory
// stays flat however deep the tree is; callers keep their per-level state in
// a vector of their own.
template <class Enter, class Leave>
void walk_tree(TSNode root, Enter&& enter, Leave&& leave) {
  TreeCursor cursor(root);
  bool descend = enter(root);
  for (;;) {
    if (descend && cursor.goto_first_child()) {
      descend = enter(cursor.current());
      continue;
    }
    bool is_leaf = true;
    for (;;) {
      leave(cursor.current(), is_leaf);
      if (cursor.goto_next_sibling()) {
        descend = enter(cursor.current());
        break;
      }
      if (!cursor.goto_parent()) return;
      is_leaf = false;
    }
  }
}

// Sorted offsets of the places in a text where something of interest starts,
// to ask in logarithmic time whether a node's range holds one.
class Landmarks {
 public:
  void add(std::size_t offset) { offsets_.push_back(static_cast<std::uint32_t>(offset)); }
  bool any_within(ByteRange range) const;

 private:
  std::vector<std::uint32_t> offsets_;
};

}  // namespace tersify::compact
