#pragma once
// The per-node decision of a compaction round, up to the measuring of the
// line: may this node's text be put on one line.
//
// Five kinds are candidates, each with a member limit (named children):
// block 1, declaration_list 1, match_block 3, enum_variant_list 3,
// field_declaration_list 3. A block that is a match arm's body never joins. A
// candidate joins when its text spans lines, it has no more members than its
// limit, nothing inside it is a comment or a token spanning lines, no block
// strictly inside it spans lines, nothing in it is left alone by rustfmt's
// skip attributes, and the joined line fits the width (join_rounds.h).

#include <tree_sitter/api.h>

#include "compact/node_kinds.h"

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

enum class Verdict {
  no,       // not in this round, nor in any later one
  blocked,  // only a block below that spans lines keeps it: once that block is on one line, it may join
  measure,  // joins if the joined line fits the width
};

// The verdict for `node` of kind `kind` whose parent is of kind `parent_kind`
// (Kind::other for the root), when its text in the round `spans_lines`.
Verdict candidate_verdict(TSNode node, Kind kind, Kind parent_kind, bool spans_lines, const SubtreeFacts& facts);

}  // namespace tersify::compact
