// Each round parses its text, then walks the tree once, bottom-up: a node's
// frame gathers what its subtree holds, and when the node is left its join is
// decided from those facts, measured with the round's joins before it made. A
// joined node's edit replaces every edit collected below it. The round's
// edits are applied, the old tree is told of them and the new text parsed.

#include "support/round_engine.h"

#include <algorithm>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "compact/else_split.h"
#include "compact/line_join.h"
#include "compact/node_kinds.h"
#include "compact/skip_attributes.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"
#include "util/fatal.h"

namespace tersify::reference {
namespace {

using namespace tersify::compact;

constexpr std::size_t max_rounds = 5;

struct Facts {
  bool comment_or_multiline_token = false;
  bool multiline_block_below = false;
  bool skipped_within = false;
};

struct Frame {
  Kind kind;
  Facts facts;
  std::size_t first_edit;
  SkipMarks skip;
};

struct Context {
  std::string_view text;
  LineFeeds line_feeds;
  std::size_t max_width;
  std::size_t tab_width;
  std::span<const ByteRange> literals;
  std::span<const SourceEdit> joins_before;
};

std::optional<std::string> join_candidate(const Context& context, TSNode node, Kind kind, Kind parent_kind,
                                          const Facts& facts) {
  std::size_t limit = member_limit(kind);
  if (limit == 0) return std::nullopt;
  if (kind == Kind::block && parent_kind == Kind::match_arm) return std::nullopt;
  if (!spans_lines(node)) return std::nullopt;
  if (ts_node_named_child_count(node) > limit) return std::nullopt;
  if (facts.comment_or_multiline_token || facts.multiline_block_below || facts.skipped_within) return std::nullopt;
  ByteRange range = node_range(context.text, node);
  std::optional<std::size_t> around = surrounding_width(context.text, context.line_feeds, range, context.max_width,
                                                        context.tab_width, context.joins_before);
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

std::vector<SourceEdit> round_edits(std::string_view text, const TSTree& tree, std::size_t max_width,
                                    std::size_t tab_width) {
  std::vector<Frame> frames;
  std::vector<SourceEdit> edits;
  std::vector<ByteRange> literals;
  LineFeeds line_feeds(text);
  Landmarks comment_or_comma_brace;
  for (std::size_t at = 0; at + 1 < text.size(); ++at) {
    char c = text[at];
    if ((c == '/' && (text[at + 1] == '/' || text[at + 1] == '*')) ||
        (c == ',' && at + 2 < text.size() && text[at + 1] == ' ' && text[at + 2] == '}')) {
      comment_or_comma_brace.add(at);
    }
  }
  SkipAttributes skips(text);

  auto enter = [&](TSNode node) {
    KindInfo info = kind_info(node);
    if (info.kind == Kind::literal || info.kind == Kind::token_tree) {
      ByteRange range = node_range(text, node);
      if (literals.empty() || range.start >= literals.back().end) literals.push_back(range);
    }
    SkipMarks skip = frames.empty() ? SkipMarks{} : skips.enter(node, info, frames.back().kind, frames.back().skip);
    frames.push_back({info.kind, {info.is_comment, false, false}, edits.size(), skip});
    if (skip.skipped) return false;
    ByteRange range{ts_node_start_byte(node), ts_node_end_byte(node)};
    return spans_lines(node) || comment_or_comma_brace.any_within(range) || skips.may_hold(range);
  };
  auto leave = [&](TSNode node, bool is_leaf) {
    Frame frame = frames.back();
    frames.pop_back();
    if (is_leaf && spans_lines(node)) frame.facts.comment_or_multiline_token = true;
    if (frame.skip.skipped) {
      frame.facts.skipped_within = true;
      edits.erase(edits.begin() + static_cast<std::ptrdiff_t>(frame.first_edit), edits.end());
    }
    if (member_limit(frame.kind) > 0) {
      Kind parent_kind = frames.empty() ? Kind::other : frames.back().kind;
      Context context{text, line_feeds, max_width, tab_width, literals,
                      std::span<const SourceEdit>(edits.data(), frame.first_edit)};
      std::optional<std::string> joined = join_candidate(context, node, frame.kind, parent_kind, frame.facts);
      if (joined) {
        edits.erase(edits.begin() + static_cast<std::ptrdiff_t>(frame.first_edit), edits.end());
        ByteRange range = node_range(text, node);
        edits.push_back({range.start, range.end, std::move(*joined)});
      }
    }
    if (!frames.empty()) {
      Facts& parent = frames.back().facts;
      parent.comment_or_multiline_token |= frame.facts.comment_or_multiline_token;
      parent.multiline_block_below |=
          frame.facts.multiline_block_below || (frame.kind == Kind::block && spans_lines(node));
      parent.skipped_within |= frame.facts.skipped_within;
    }
  };
  walk_tree(root_node(tree), enter, leave);
  return edits;
}

void tell_tree(TSTree& tree, std::string_view text, const std::vector<SourceEdit>& edits) {
  std::vector<TSInputEdit> told;
  std::uint32_t row = 0;
  std::size_t line_start = 0;
  std::size_t scanned = 0;
  auto point_at = [&](std::size_t offset) {
    for (; scanned < offset; ++scanned) {
      if (text[scanned] == '\n') {
        ++row;
        line_start = scanned + 1;
      }
    }
    return TSPoint{row, static_cast<std::uint32_t>(offset - line_start)};
  };
  for (const auto& edit : edits) {
    TSPoint start = point_at(edit.start);
    TSPoint old_end = point_at(edit.end);
    auto new_end_byte = static_cast<std::uint32_t>(edit.start + edit.replacement.size());
    TSPoint new_end{start.row, start.column + static_cast<std::uint32_t>(edit.replacement.size())};
    told.push_back({static_cast<std::uint32_t>(edit.start), static_cast<std::uint32_t>(edit.end), new_end_byte, start,
                    old_end, new_end});
  }
  for (auto it = told.rbegin(); it != told.rend(); ++it) ts_tree_edit(&tree, &*it);
}

}  // namespace

std::string compact_in_rounds(std::string_view text, std::size_t max_width, std::size_t tab_width,
                              RoundStats& stats) {
  stats = {};
  std::string working(text);
  TreePtr tree = parse_text(working);
  ++stats.parses;
  while (stats.rounds < max_rounds) {
    std::vector<SourceEdit> edits = round_edits(working, *tree, max_width, tab_width);
    ++stats.rounds;
    if (edits.empty()) break;
    tell_tree(*tree, working, edits);
    working = apply_edits(working, std::move(edits));
    tree = reparse_text(working, *tree);
    ++stats.parses;
  }
  return split_statement_elses(working, *tree);
}

std::string compact_in_rounds(std::string_view text, std::size_t max_width, std::size_t tab_width) {
  RoundStats stats;
  return compact_in_rounds(text, max_width, tab_width, stats);
}

}  // namespace tersify::reference
