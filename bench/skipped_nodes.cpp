#include "skipped_nodes.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "compact/node_kinds.h"
#include "compact/skip_attributes.h"
#include "compact/syntax_tree.h"

namespace tersify::proof {
namespace {

using compact::ByteRange;

struct Frame {
  compact::Kind kind;
  compact::SkipMarks skip;
};

// The outermost skipped nodes of `text`, in document order.
std::vector<ByteRange> skipped_nodes(std::string_view text) {
  compact::TreePtr tree = compact::parse_text(text);
  compact::SkipAttributes skips(text);
  std::vector<Frame> frames;
  std::vector<ByteRange> nodes;
  auto enter = [&](TSNode node) {
    compact::KindInfo info = compact::kind_info(node);
    compact::SkipMarks skip =
        frames.empty() ? compact::SkipMarks{} : skips.enter(node, info, frames.back().kind, frames.back().skip);
    frames.push_back({info.kind, skip});
    return !skip.skipped && skips.may_hold({ts_node_start_byte(node), ts_node_end_byte(node)});
  };
  // A match arm learns that it is skipped from its first child, so the
  // outermost nodes are taken as they are left.
  auto leave = [&](TSNode node, bool) {
    Frame frame = frames.back();
    frames.pop_back();
    if (frame.skip.skipped && (frames.empty() || !frames.back().skip.skipped)) {
      nodes.push_back(compact::node_range(text, node));
    }
  };
  compact::walk_tree(compact::root_node(*tree), enter, leave);
  return nodes;
}

// The whitespace before `at` on its line, or none when something else is there.
std::optional<std::string_view> indentation(std::string_view text, std::size_t at) {
  std::size_t line_start = text.rfind('\n', at == 0 ? 0 : at - 1);
  line_start = (line_start == std::string_view::npos || at == 0) ? 0 : line_start + 1;
  std::string_view before = text.substr(line_start, at - line_start);
  if (before.find_first_not_of(" \t") != std::string_view::npos) return std::nullopt;
  return before;
}

}  // namespace

SkippedCheck check_skipped_nodes(std::string_view formatted, std::string_view compacted) {
  SkippedCheck check;
  std::size_t from = 0;
  for (ByteRange node : skipped_nodes(formatted)) {
    ++check.nodes;
    std::string_view kept = formatted.substr(node.start, node.end - node.start);
    std::size_t at = compacted.find(kept, from);
    std::size_t line = 1 + static_cast<std::size_t>(std::count(
                               formatted.begin(), formatted.begin() + static_cast<std::ptrdiff_t>(node.start), '\n'));
    if (at == std::string_view::npos) {
      check.violation = "the skipped node at line " + std::to_string(line) + " changed";
      return check;
    }
    auto was = indentation(formatted, node.start);
    if (was && indentation(compacted, at) != was) {
      check.violation = "the skipped node at line " + std::to_string(line) + " no longer starts its line as it did";
      return check;
    }
    from = at + kept.size();
  }
  return check;
}

}  // namespace tersify::proof
