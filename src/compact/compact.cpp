// A round parses the text, then walks the tree once, bottom-up: each node's
// frame gathers what its subtree holds (comments, tokens spanning lines,
// blocks spanning lines), which is what scanning the node's subtree would
// find, and when the node is left its join is decided from those facts. A
// joined node's edit replaces every edit collected below it, so the round
// keeps exactly the outermost joins, as a top-down walk that stops at each
// join would, while every node is looked at once. Each join is measured with
// the round's joins before it made (the edits kept so far outside the node),
// which is what deciding the joins in order of their start gives, so that two
// joins on one line never pass the width together. A node that rustfmt leaves
// alone for a skip attribute is neither joined nor looked into, and no node
// holding it joins.

#include "compact/compact.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "compact/candidates.h"
#include "compact/else_split.h"
#include "compact/node_kinds.h"
#include "compact/skip_attributes.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"
#include "util/fatal.h"

namespace tersify::compact {
namespace {

constexpr std::size_t max_rounds = 5;

struct Frame {
  Kind kind;
  SubtreeFacts facts;
  std::size_t first_edit;  // edits from here on were made inside this node
  SkipMarks skip;
};

// The edits of one round over `tree`, parsed from exactly `text`. Each edit
// replaces a construct that spans lines by a text without line feeds, so a
// round changes the text exactly when it makes an edit.
std::vector<SourceEdit> round_edits(std::string_view text, const TSTree& tree, std::size_t max_width,
                                    std::size_t tab_width) {
  std::vector<Frame> frames;
  std::vector<SourceEdit> edits;
  std::vector<ByteRange> literals;
  LineFeeds line_feeds(text);
  // A node on one line holds no candidate and no block or token that spans
  // lines. What else the round needs from below it is any comment (which
  // starts with "//" or "/*") and the literals that hold ", }" (no other
  // literal needs protecting when lines are joined). Without such a start
  // inside, the walk passes the node's children over.
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
    // Joining keeps the ", }" of literals and of macro token trees: a macro
    // may need the trailing comma that its pattern matches. Nodes arrive in
    // document order; a range inside the last one kept is covered by it, so
    // the list stays sorted by start and free of overlaps.
    if (info.kind == Kind::literal || info.kind == Kind::token_tree) {
      ByteRange range = node_range(text, node);
      if (literals.empty() || range.start >= literals.back().end) literals.push_back(range);
    }
    SkipMarks skip = frames.empty() ? SkipMarks{} : skips.enter(node, info, frames.back().kind, frames.back().skip);
    frames.push_back({info.kind, {info.is_comment, false, false}, edits.size(), skip});
    if (skip.skipped) return false;
    // A skip attribute inside a node on one line still keeps the node's
    // container from joining.
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
      // The joins collected so far that lie outside the node come before it:
      // they are this round's joins to its left.
      CandidateContext context{text, line_feeds, max_width, tab_width, literals,
                               std::span<const SourceEdit>(edits.data(), frame.first_edit)};
      std::optional<std::string> joined = join_candidate(context, node, frame.kind, parent_kind, frame.facts);
      if (joined) {
        edits.erase(edits.begin() + static_cast<std::ptrdiff_t>(frame.first_edit), edits.end());
        ByteRange range = node_range(text, node);
        edits.push_back({range.start, range.end, std::move(*joined)});
      }
    }
    if (!frames.empty()) {
      SubtreeFacts& parent = frames.back().facts;
      parent.comment_or_multiline_token |= frame.facts.comment_or_multiline_token;
      parent.multiline_block_below |=
          frame.facts.multiline_block_below || (frame.kind == Kind::block && spans_lines(node));
      parent.skipped_within |= frame.facts.skipped_within;
    }
  };
  walk_tree(root_node(tree), enter, leave);
  return edits;
}

// Tells `tree`, parsed from `text`, of `edits` (sorted by start, without
// overlaps, none holding a line feed in its replacement), so that the next
// parse can reuse what they leave alone. Rows and columns come from one scan
// of the text; the edits go in from the last, so that the positions of the
// earlier ones still hold when their turn comes.
void tell_tree(TSTree& tree, std::string_view text, const std::vector<SourceEdit>& edits) {
  std::vector<TSInputEdit> told;
  told.reserve(edits.size());
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
    if (edit.start < scanned) internal_error("a round's edits overlap or are out of order");
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

Compaction::Compaction(std::string text, std::size_t max_width, std::size_t tab_width)
    : working_(std::move(text)), max_width_(max_width), tab_width_(tab_width) {}

bool Compaction::step() {
  if (finished_) return true;
  // Every round parses the text it works on. A round without edits leaves the
  // text as it was, so its tree serves the closing else splitting too, which
  // saves one parse in every text that the rounds finish before the limit.
  if (!tree_) {
    tree_ = parse_text(working_);
    ++parses_;
  }
  if (!joining_done_) {
    std::vector<SourceEdit> edits = round_edits(working_, *tree_, max_width_, tab_width_);
    ++rounds_;
    if (edits.empty()) {
      joining_done_ = true;
    } else {
      // The next text is parsed after the tree of this one, told of the
      // edits: most of the tree survives a round.
      tell_tree(*tree_, working_, edits);
      working_ = apply_edits(working_, std::move(edits));
      tree_ = reparse_text(working_, *tree_);
      ++parses_;
      joining_done_ = rounds_ >= max_rounds;
    }
    return false;
  }
  working_ = split_statement_elses(working_, *tree_);
  tree_.reset();
  finished_ = true;
  return true;
}

std::string Compaction::result() {
  while (!step()) {
  }
  return std::move(working_);
}

std::string compact(std::string_view text, std::size_t max_width, CompactStats& stats) {
  Compaction compaction{std::string(text), max_width};
  std::string result = compaction.result();
  stats.rounds = compaction.rounds();
  stats.parses = compaction.parses();
  return result;
}

std::string compact(std::string_view text, std::size_t max_width) {
  CompactStats stats;
  return compact(text, max_width, stats);
}

}  // namespace tersify::compact
