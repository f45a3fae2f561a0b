// The joining rounds are decided on one tree (join_rounds.h): the text is
// parsed once, and again only after a round whose joins may parse otherwise
// than that tree with the joins made. The first round's walk also finds the
// if chains of the else splitting, which are split in the joined text, the
// tree's offsets placed in it.

#include "compact/compact.h"

#include <string_view>
#include <utility>
#include <vector>

#include "compact/else_split.h"
#include "compact/join_rounds.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"
#include "util/fatal.h"

namespace tersify::compact {
namespace {

constexpr std::size_t max_rounds = 5;

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

Compaction::~Compaction() = default;

bool Compaction::step() {
  if (finished_) return true;
  if (!tree_) {
    tree_ = parse_text(working_);
    ++parses_;
    joins_ = std::make_unique<JoinRounds>(working_, *tree_, max_width_, tab_width_);
  }
  if (!joining_done_) {
    bool joined = joins_->run_round();
    ++rounds_;
    joining_done_ = !joined || rounds_ >= max_rounds;
    if (joined && joins_->needs_parse()) {
      // The next text is parsed after the tree of this one, told of the
      // joins: most of the tree survives them.
      std::vector<SourceEdit> edits = joins_->joins();
      joins_.reset();
      tell_tree(*tree_, working_, edits);
      working_ = apply_edits(working_, std::move(edits));
      tree_ = reparse_text(working_, *tree_);
      ++parses_;
      joins_ = std::make_unique<JoinRounds>(working_, *tree_, max_width_, tab_width_);
    }
    return false;
  }
  if (!joins_->walked()) {
    // Parsed again after the last round: no walk found the chains yet.
    working_ = split_statement_elses(working_, *tree_);
  } else {
    std::vector<SourceEdit> edits;
    if (joins_->joined_any()) {
      OffsetMap offsets = joins_->offsets();
      std::string joined = joins_->joined_text();
      edits = joins_->else_edits(joined, offsets);
      working_ = std::move(joined);
    } else {
      edits = joins_->else_edits(working_, OffsetMap{});
    }
    // The tree goes before the last copy of the text is made.
    joins_.reset();
    tree_.reset();
    working_ = apply_edits(working_, std::move(edits));
  }
  joins_.reset();
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
