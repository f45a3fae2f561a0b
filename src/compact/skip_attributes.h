#pragma once
// The nodes that rustfmt leaves as written because of an attribute, found
// while a walk enters nodes in document order.
//
// rustfmt honours an attribute whose meta item is the path `rustfmt::skip` or
// `rustfmt_skip` alone, or `cfg_attr(PREDICATE, M)` with exactly two items
// where M is honoured in turn; `rustfmt::skip::macros(...)`, `::rustfmt::skip`
// or `rustfmt::skip()` are not skips. An outer attribute leaves alone the next
// named node after it among its siblings (the item, statement, field or
// variant it belongs to), except inside a match arm or a field initializer,
// whose attributes are their own first children and leave the parent alone.
// An inner attribute leaves alone the node it sits in: the file, a module or
// trait body, a block.

#include <tree_sitter/api.h>

#include <string_view>

#include "compact/byte_range.h"
#include "compact/node_kinds.h"
#include "compact/syntax_tree.h"

namespace tersify::compact {

// Whether the text of an attribute item (`#[...]` or `#![...]`) makes rustfmt
// leave its node alone.
bool is_skip_attribute(std::string_view attribute);

// What a walk's frame keeps about skipping.
struct SkipMarks {
  bool skipped = false;    // rustfmt leaves this node alone, by its own attribute or an ancestor's
  bool skip_next = false;  // a skip attribute among the children waits for the next named child
};

class SkipAttributes {
 public:
  // Notes where `text` holds the word "rustfmt": no attribute elsewhere skips.
  explicit SkipAttributes(std::string_view text);

  // Whether a skip attribute may lie within `range`.
  bool may_hold(ByteRange range) const { return words_.any_within(range); }

  // The marks of `node`, of kind `info`, entered as a child of a node of kind
  // `parent_kind` whose marks are `parent`. A skip attribute marks `parent`:
  // skipped when the attribute leaves the parent alone, skip_next otherwise.
  // Such an attribute precedes everything in its parent but comments, so a
  // walk has seen nothing else inside the parent when it learns this.
  // A text without the word holds no such attribute and pays nothing more.
  SkipMarks enter(TSNode node, KindInfo info, Kind parent_kind, SkipMarks& parent) const {
    return has_word_ ? enter_marked(node, info, parent_kind, parent) : SkipMarks{};
  }

 private:
  SkipMarks enter_marked(TSNode node, KindInfo info, Kind parent_kind, SkipMarks& parent) const;

  std::string_view text_;
  Landmarks words_;
  bool has_word_ = false;
};

}  // namespace tersify::compact
