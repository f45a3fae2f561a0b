#pragma once
// The closing step of the compaction pass: in every if chain that stands as a
// statement, each `else` starts a line of its own at the column of the `if`.

#include <tree_sitter/api.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compact/node_kinds.h"
#include "compact/offset_map.h"
#include "compact/skip_attributes.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"

namespace tersify::compact {

// The blank between a branch's closing brace and the `else` after it becomes
// a line feed and the `if`'s indentation, for chains whose expression
// statement is followed by another named node or ends with ";". A gap that
// holds a line feed or anything but whitespace (a comment) stays. If chains
// whose value is used keep their `else` in place.
std::string split_statement_elses(std::string_view text);

// The same with a tree already parsed from exactly `text`.
std::string split_statement_elses(std::string_view text, const TSTree& tree);

// The same for `output`, which is `parsed` with joins made that leave its
// tree as it is but for their line breaks and dropped commas: `tree` was
// parsed from `parsed`, and `offsets` places its offsets in `output`.
std::string split_statement_elses(std::string_view parsed, const TSTree& tree, std::string_view output,
                                  const OffsetMap& offsets);

// The if chains that stand as statements, found while a walk enters the
// nodes of a tree in document order. The walk must descend wherever enter()
// asks it to; descending further is harmless.
class StatementChains {
 public:
  // `text` is what the tree was parsed from; both arguments must outlive this.
  StatementChains(std::string_view text, const SkipAttributes& skips);

  // The walk enters `node`; gives false for a node rustfmt leaves alone,
  // whose children must be passed over. Otherwise the walk must descend into
  // the node when may_hold says so.
  bool enter(TSNode node, KindInfo info);
  // Whether `range` may hold a chain to split: only a node that holds an
  // `else` can.
  bool may_hold(ByteRange range) const { return else_words_.any_within(range); }
  // The walk leaves the node it entered last.
  void leave();

  // The edits that split the chains found, for `output`: the parsed text
  // with joins made, whose offsets `offsets` places.
  std::vector<SourceEdit> edits(std::string_view output, const OffsetMap& offsets) const;

 private:
  static constexpr std::size_t no_statement = SIZE_MAX;
  struct Frame {
    Kind kind = Kind::other;
    std::size_t statement = no_statement;  // frame of the statement an if belongs to
    bool qualified = false;                // for an expression statement: ends with ";"
    std::vector<TSNode> waiting;           // a statement's chains until it qualifies
    std::vector<TSNode> deferred;          // a finished child statement's chains, until a named sibling follows
    SkipMarks skip;
  };

  std::string_view text_;
  const SkipAttributes& skips_;
  Landmarks else_words_;
  std::vector<Frame> frames_;
  std::vector<TSNode> chains_;  // heads of the chains of qualified statements
};

}  // namespace tersify::compact
