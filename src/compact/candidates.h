#pragma once
// The per-node decision of a compaction round: may this node's text be put on
// one line, and if so, what replaces it.
//
// Five kinds are candidates, each with a member limit (named children):
// block 1, declaration_list 1, match_block 3, enum_variant_list 3,
// field_declaration_list 3. A block that is a match arm's body never joins. A
// candidate joins when its text spans lines, it has no more members than its
// limit, nothing inside it is a comment or a token spanning lines, no block
// strictly inside it spans lines, nothing in it is left alone by rustfmt's
// skip attributes, and the joined line fits the width.

#include <tree_sitter/api.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "compact/byte_range.h"
#include "compact/line_join.h"
#include "compact/node_kinds.h"
#include "compact/source_edit.h"

namespace tersify::compact {

// What the decision needs to know about a node's subtree. A round finds it for
// every node in one bottom-up walk instead of scanning each candidate's
// subtree again.
struct SubtreeFacts {
  // The node or a descendant is a comment, or a token whose text spans lines.
  bool comment_or_multiline_token = false;
  // A descendant (not the node itself) is a block whose text spans lines.
  bool multiline_block_below = false;
  // rustfmt leaves the node or a descendant as written (skip_attributes.h):
  // joining would move its lines.
  bool skipped_within = false;
};

struct CandidateContext {
  std::string_view text;  // the round's text, which the tree was parsed from
  LineFeeds line_feeds;
  std::size_t max_width;
  std::size_t tab_width;  // columns of a tab; 1 without hard tabs
  std::span<const ByteRange> literals;  // literals and macro token trees of the text, by start
  // The round's joins before the node, by start: the line it would join onto
  // is measured with them made.
  std::span<const SourceEdit> joins_before;
};

// The joined text that replaces the whole of `node`, or none. `kind` is the
// node's kind and `parent_kind` its parent's (Kind::other for the root).
std::optional<std::string> join_candidate(const CandidateContext& context, TSNode node, Kind kind, Kind parent_kind,
                                          const SubtreeFacts& facts);

}  // namespace tersify::compact
