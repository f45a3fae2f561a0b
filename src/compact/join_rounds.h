#pragma once
// The joining rounds of the compaction pass, decided on one tree.
//
// A round decides every node of the text the rounds before it left: a joined
// construct's text follows from the text it was parsed from (J of the joined
// lines is the same whether the constructs inside were joined before or
// not), and the line it would join onto is measured across the joins already
// made. So the rounds need the tree of the first text only, as long as the
// joined text parses as that tree with the joins made. Where that may not
// hold (a text that parses with errors, a line appended without a space that
// could read as other tokens, an attribute that rustfmt's skip test reads
// across a joined line, tabs that count no columns), the round says so, and
// the caller parses the joined text before the next round.
//
// A node that a round could not join only because a block below it still
// spans lines is looked at again in the next round; every other refusal
// stands in all later rounds (the line around a construct only grows as
// joins are made), so a round after the first walks only those nodes.

#include <tree_sitter/api.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compact/byte_range.h"
#include "compact/else_split.h"
#include "compact/line_join.h"
#include "compact/node_kinds.h"
#include "compact/offset_map.h"
#include "compact/skip_attributes.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"

namespace tersify::compact {

class JoinRounds {
 public:
  // `tree` parsed from exactly `text`; both must outlive this. With
  // `tab_width` above 1 a tab counts as that many columns of a joined line.
  JoinRounds(std::string_view text, const TSTree& tree, std::size_t max_width, std::size_t tab_width);

  // Runs the next round; gives whether it joined anything.
  bool run_round();
  // Whether the text with the joins made must be parsed again before another
  // round or the else splitting may use the tree.
  bool needs_parse() const { return needs_parse_; }
  bool joined_any() const { return !joined_.empty(); }

  // The joins made so far, outermost only, by start: the edits that give the
  // joined text.
  std::vector<SourceEdit> joins() const;
  // The text with the joins made.
  std::string joined_text() const;
  // Where offsets of the text land in joined_text().
  OffsetMap offsets() const;
  // Whether a round walked the tree, finding its statement if chains too.
  bool walked() const { return rounds_ > 0; }
  // The edits that split the else of those chains in `output`, the text with
  // the joins made, whose offsets `offsets` places.
  std::vector<SourceEdit> else_edits(std::string_view output, const OffsetMap& offsets) const {
    return chains_.edits(output, offsets);
  }

 private:
  // A joined construct; its J lies in the byte store of its list.
  struct Joined {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t start_row = 0;
    std::uint32_t end_row = 0;
    std::size_t columns = 0;
    std::size_t text_at = 0;
    std::size_t text_size = 0;
  };
  struct Blocked {
    TSNode node;
    Kind parent_kind;
  };
  struct Frame;

  void walk(TSNode root, Kind parent_kind, std::vector<Frame>& frames);
  bool spans_lines_now(TSNode node) const;
  std::optional<std::size_t> around(ByteRange range, std::size_t joins_before) const;
  void join_if_fits(TSNode node, std::size_t first_join);
  void close_round();
  std::uint32_t live_line_feed(std::uint32_t row) const;

  std::string_view text_;
  const TSTree& tree_;
  std::size_t max_width_;
  std::size_t tab_width_;
  LineFeeds line_feeds_;
  bool parses_with_errors_;
  Landmarks comments_;
  Landmarks comma_braces_;
  SkipAttributes skips_;
  // The first round's walk finds the if chains for the else splitting too.
  StatementChains chains_;
  // Literals and macro token trees of the text, by start, outermost only:
  // their ", }" stays when lines are joined. Gathered by the first round.
  std::vector<ByteRange> literals_;

  std::size_t rounds_ = 0;
  bool needs_parse_ = false;
  std::vector<Joined> joined_;   // joins of the rounds before, outermost, by start
  std::string joined_bytes_;     // their J, one after another
  std::vector<Joined> joining_;  // the running round's, by start
  std::string joining_bytes_;    // their J, and that of joins a join around them replaced
  std::vector<Blocked> blocked_;       // outermost nodes to look at again, by start
  std::vector<Blocked> next_blocked_;  // the running round's
  // For the line feed of each row, the next line feed at or after it that no
  // join of the rounds before took away (the number of rows when none);
  // followed lazily, with paths halved.
  mutable std::vector<std::uint32_t> next_live_;
  JoinTrace trace_;
};

}  // namespace tersify::compact
