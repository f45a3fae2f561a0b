#include "compact/candidates.h"

namespace tersify::compact {

Verdict candidate_verdict(TSNode node, Kind kind, Kind parent_kind, bool spans_lines, const SubtreeFacts& facts) {
  std::size_t limit = member_limit(kind);
  if (limit == 0) return Verdict::no;
  if (kind == Kind::block && parent_kind == Kind::match_arm) return Verdict::no;
  if (!spans_lines) return Verdict::no;
  if (ts_node_named_child_count(node) > limit) return Verdict::no;
  if (facts.comment_or_multiline_token || facts.skipped_within) return Verdict::no;
  return facts.multiline_block_below ? Verdict::blocked : Verdict::measure;
}

}  // namespace tersify::compact
