#include "compact/candidates.h"

#include <algorithm>

#include "compact/line_join.h"
#include "compact/syntax_tree.h"

namespace tersify::compact {

std::optional<std::string> join_candidate(const CandidateContext& context, TSNode node, Kind kind, Kind parent_kind,
                                          const SubtreeFacts& facts) {
  std::size_t limit = member_limit(kind);
  if (limit == 0) return std::nullopt;
  if (kind == Kind::block && parent_kind == Kind::match_arm) return std::nullopt;
  if (!spans_lines(node)) return std::nullopt;
  if (ts_node_named_child_count(node) > limit) return std::nullopt;
  if (facts.comment_or_multiline_token || facts.multiline_block_below || facts.skipped_within) return std::nullopt;

  ByteRange range = node_range(context.text, node);
  std::optional<std::size_t> around =
      surrounding_width(context.text, context.line_feeds, range, context.max_width, context.tab_width,
                        context.joins_before);
  if (!around) return std::nullopt;
  auto first_literal = std::lower_bound(context.literals.begin(), context.literals.end(), range.start,
                                        [](const ByteRange& literal, std::size_t at) { return literal.end <= at; });
  std::span<const ByteRange> literals(first_literal, context.literals.end());
  auto joined = join_lines(context.text, range, literals, context.max_width - *around);
  if (joined && context.tab_width != 1 && columns(*joined, context.tab_width) > context.max_width - *around) {
    return std::nullopt;
  }
  return joined;
}

}  // namespace tersify::compact
