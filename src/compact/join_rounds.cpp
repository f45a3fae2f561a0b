// A round walks bottom-up, as the rounds that parsed each text did: each
// node's frame gathers what its subtree holds, and when the node is left its
// join is decided from those facts. A joined node's join replaces every join
// collected below it, so a round keeps the outermost ones. The first round
// walks the whole tree; a later one walks only below the nodes that a block
// spanning lines kept from joining, and passes over everything that is on
// one line in the round's text (joined constructs among them).

#include "compact/join_rounds.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "compact/candidates.h"
#include "util/fatal.h"

namespace tersify::compact {

struct JoinRounds::Frame {
  Kind kind;
  SubtreeFacts facts;
  std::size_t first_join;     // joins of the round from here on are inside this node
  std::size_t first_blocked;  // and so are these nodes to look at again
  SkipMarks skip;
};

namespace {

template <class T>
void truncate(std::vector<T>& items, std::size_t size) {
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(size), items.end());
}

}  // namespace

JoinRounds::JoinRounds(std::string_view text, const TSTree& tree, std::size_t max_width, std::size_t tab_width)
    : text_(text),
      tree_(tree),
      max_width_(max_width),
      tab_width_(tab_width),
      line_feeds_(text),
      parses_with_errors_(ts_node_has_error(root_node(tree))),
      skips_(text),
      chains_(text, skips_) {
  // A node on one line holds no candidate and no block or token that spans
  // lines. What else a round needs from below it is any comment (which
  // starts with "//" or "/*") and, for the first round, the literals that
  // hold ", }" (no other literal needs protecting when lines are joined).
  // Without such a start inside, a walk passes the node's children over.
  for (std::size_t at = 0; at + 1 < text.size(); ++at) {
    char c = text[at];
    if (c == '/' && (text[at + 1] == '/' || text[at + 1] == '*')) comments_.add(at);
    if (c == ',' && at + 2 < text.size() && text[at + 1] == ' ' && text[at + 2] == '}') comma_braces_.add(at);
  }
}

bool JoinRounds::run_round() {
  if (rounds_ > 0 && blocked_.empty()) return false;
  joining_.clear();
  joining_bytes_.clear();
  next_blocked_.clear();
  std::vector<Frame> frames;
  if (rounds_ == 0) {
    walk(root_node(tree_), Kind::other, frames);
  } else {
    for (const Blocked& blocked : blocked_) walk(blocked.node, blocked.parent_kind, frames);
  }
  ++rounds_;
  bool joined = !joining_.empty();
  close_round();
  return joined;
}

void JoinRounds::walk(TSNode root, Kind root_parent_kind, std::vector<Frame>& frames) {
  bool first_round = rounds_ == 0;
  auto enter = [&](TSNode node) {
    KindInfo info = kind_info(node);
    if (first_round) chains_.enter(node, info);
    // Joining keeps the ", }" of literals and of macro token trees: a macro
    // may need the trailing comma that its pattern matches. Nodes arrive in
    // document order; a range inside the last one kept is covered by it, so
    // the list stays sorted by start and free of overlaps.
    if (first_round && (info.kind == Kind::literal || info.kind == Kind::token_tree)) {
      ByteRange range = node_range(text_, node);
      if (literals_.empty() || range.start >= literals_.back().end) literals_.push_back(range);
    }
    SkipMarks skip = frames.empty() ? SkipMarks{} : skips_.enter(node, info, frames.back().kind, frames.back().skip);
    frames.push_back({info.kind, {info.is_comment, false, false}, joining_.size(), next_blocked_.size(), skip});
    if (skip.skipped) return false;
    // A skip attribute inside a node on one line still keeps the node's
    // container from joining.
    ByteRange range{ts_node_start_byte(node), ts_node_end_byte(node)};
    return spans_lines_now(node) || comments_.any_within(range) || (first_round && comma_braces_.any_within(range)) ||
           skips_.may_hold(range) || (first_round && chains_.may_hold(range));
  };
  auto leave = [&](TSNode node, bool is_leaf) {
    if (first_round) chains_.leave();
    Frame frame = frames.back();
    frames.pop_back();
    bool spans = spans_lines_now(node);
    if (is_leaf && spans) frame.facts.comment_or_multiline_token = true;
    if (frame.skip.skipped) {
      frame.facts.skipped_within = true;
      truncate(joining_, frame.first_join);
      truncate(next_blocked_, frame.first_blocked);
    }
    if (member_limit(frame.kind) > 0) {
      Kind parent_kind = frames.empty() ? root_parent_kind : frames.back().kind;
      switch (candidate_verdict(node, frame.kind, parent_kind, spans, frame.facts)) {
        case Verdict::measure:
          join_if_fits(node, frame.first_join);
          break;
        case Verdict::blocked:
          truncate(next_blocked_, frame.first_blocked);
          next_blocked_.push_back({node, parent_kind});
          break;
        case Verdict::no:
          break;
      }
    }
    if (!frames.empty()) {
      SubtreeFacts& parent = frames.back().facts;
      parent.comment_or_multiline_token |= frame.facts.comment_or_multiline_token;
      parent.multiline_block_below |= frame.facts.multiline_block_below || (frame.kind == Kind::block && spans);
      parent.skipped_within |= frame.facts.skipped_within;
    }
  };
  walk_tree(root, enter, leave);
}

bool JoinRounds::spans_lines_now(TSNode node) const {
  std::uint32_t start_row = ts_node_start_point(node).row;
  std::uint32_t end_row = ts_node_end_point(node).row;
  if (start_row == end_row) return false;
  return next_live_.empty() || live_line_feed(start_row) < end_row;
}

std::uint32_t JoinRounds::live_line_feed(std::uint32_t row) const {
  while (next_live_[row] != row) {
    next_live_[row] = next_live_[next_live_[row]];
    row = next_live_[row];
  }
  return row;
}

void JoinRounds::join_if_fits(TSNode node, std::size_t first_join) {
  ByteRange range = node_range(text_, node);
  std::optional<std::size_t> width_around = around(range, first_join);
  if (!width_around) return;
  std::size_t room = max_width_ - *width_around;
  auto first_literal = std::lower_bound(literals_.begin(), literals_.end(), range.start,
                                        [](const ByteRange& literal, std::size_t at) { return literal.end <= at; });
  std::span<const ByteRange> literals(first_literal, literals_.end());
  trace_.cuts.clear();
  trace_.may_read_otherwise = false;
  std::size_t text_at = joining_bytes_.size();
  if (!append_joined_lines(joining_bytes_, text_, range, literals, room, &trace_)) return;
  std::size_t text_size = joining_bytes_.size() - text_at;
  std::size_t joined_columns = columns(std::string_view(joining_bytes_).substr(text_at), tab_width_);
  if (tab_width_ != 1 && joined_columns > room) {
    joining_bytes_.resize(text_at);
    return;
  }
  // Tabs that count no columns would need the round's own text measured
  // byte for byte, as the reparsed rounds did.
  if (parses_with_errors_ || trace_.may_read_otherwise || skips_.may_hold(range) || tab_width_ == 0) {
    needs_parse_ = true;
  }
  truncate(joining_, first_join);
  joining_.push_back({static_cast<std::uint32_t>(range.start), static_cast<std::uint32_t>(range.end),
                      ts_node_start_point(node).row, ts_node_end_point(node).row, joined_columns, text_at, text_size});
}

std::optional<std::size_t> JoinRounds::around(ByteRange range, std::size_t joins_before) const {
  const std::size_t limit = max_width_;
  // C: the line before the construct in the round's text, with the round's
  // joins before it made. A joined stretch holds no line feed, so the line
  // runs back through every one that ends on it. Each stretch of the text is
  // searched for no more than the width still left plus one byte: a line
  // feed further away already makes the line too wide.
  std::size_t column = 0;
  std::size_t at = range.start;
  auto earlier = std::lower_bound(joined_.begin(), joined_.end(), range.start,
                                  [](const Joined& joined, std::size_t start) { return joined.start < start; });
  auto done = static_cast<std::size_t>(earlier - joined_.begin());
  std::size_t round_left = joins_before;
  for (;;) {
    // Joins of earlier rounds inside a join of this round were passed over with it.
    while (done > 0 && joined_[done - 1].end > at) --done;
    const Joined* nearest = done > 0 ? &joined_[done - 1] : nullptr;
    bool of_round = false;
    if (round_left > 0 && (nearest == nullptr || joining_[round_left - 1].end >= nearest->end)) {
      nearest = &joining_[round_left - 1];
      of_round = true;
    }
    std::size_t floor = nearest != nullptr ? nearest->end : 0;
    std::size_t stretch = at - floor;
    std::size_t searched = limit - column < stretch ? limit - column + 1 : stretch;
    const void* found = nullptr;
    if (line_feeds_.first != std::string_view::npos && line_feeds_.first < at) {
      found = memrchr(text_.data() + (at - searched), '\n', searched);
    }
    if (found != nullptr) {
      std::size_t line_start = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) + 1;
      column += columns(text_.substr(line_start, at - line_start), tab_width_);
      break;
    }
    if (searched < stretch) return std::nullopt;
    column += columns(text_.substr(floor, stretch), tab_width_);
    if (column > limit) return std::nullopt;
    // On the text's first line everything before the construct is on its line.
    if (nearest == nullptr) break;
    column += nearest->columns;
    if (column > limit) return std::nullopt;
    at = nearest->start;
    if (of_round) {
      --round_left;
    } else {
      --done;
    }
  }
  if (column > limit) return std::nullopt;

  // R: the rest of the construct's last line in the round's text, counted in
  // bytes against the width left and then in columns, through the joins of
  // earlier rounds after it.
  const std::size_t rest_limit = limit - column;
  std::size_t rest_bytes = 0;
  std::size_t rest_columns = 0;
  at = range.end;
  auto later = std::lower_bound(joined_.begin(), joined_.end(), range.end,
                                [](const Joined& joined, std::size_t start) { return joined.start < start; });
  for (;;) {
    std::size_t next = later != joined_.end() ? later->start : text_.size();
    std::size_t stretch = next - at;
    std::size_t budget = rest_limit - rest_bytes;
    std::size_t searched = budget < stretch ? budget + 1 : stretch;
    const void* found = nullptr;
    if (line_feeds_.last != std::string_view::npos && line_feeds_.last >= at) {
      found = std::memchr(text_.data() + at, '\n', searched);
    }
    if (found != nullptr) {
      std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
      rest_bytes += end - at;
      rest_columns += columns(text_.substr(at, end - at), tab_width_);
      break;
    }
    if (searched < stretch) return std::nullopt;
    rest_bytes += stretch;
    rest_columns += columns(text_.substr(at, stretch), tab_width_);
    if (rest_bytes > rest_limit) return std::nullopt;
    // On a last line without a line feed, the rest of the text is on its line.
    if (later == joined_.end()) break;
    rest_bytes += later->text_size;
    rest_columns += later->columns;
    if (rest_bytes > rest_limit) return std::nullopt;
    at = later->end;
    ++later;
  }
  if (rest_bytes > rest_limit) return std::nullopt;
  std::size_t width = column + rest_columns;
  if (width > limit) return std::nullopt;
  return width;
}

void JoinRounds::close_round() {
  blocked_ = std::move(next_blocked_);
  next_blocked_.clear();
  if (joining_.empty()) return;
  if (next_live_.empty()) {
    auto rows = static_cast<std::uint32_t>(std::count(text_.begin(), text_.end(), '\n'));
    next_live_.resize(std::size_t{rows} + 1);
    for (std::uint32_t row = 0; row <= rows; ++row) next_live_[row] = row;
  }
  std::vector<Joined> merged;
  merged.reserve(joined_.size() + joining_.size());
  std::string bytes;
  auto keep = [&](Joined join, const std::string& from) {
    std::size_t at = join.text_at;
    join.text_at = bytes.size();
    bytes.append(from, at, join.text_size);
    merged.push_back(join);
  };
  auto earlier = joined_.begin();
  for (const Joined& join : joining_) {
    for (; earlier != joined_.end() && earlier->start < join.start; ++earlier) {
      if (earlier->end > join.start) internal_error("joins of two rounds overlap");
      keep(*earlier, joined_bytes_);
    }
    // Joins of earlier rounds inside this one are now part of its text.
    while (earlier != joined_.end() && earlier->end <= join.end) ++earlier;
    for (std::uint32_t row = live_line_feed(join.start_row); row < join.end_row; row = live_line_feed(row + 1)) {
      next_live_[row] = row + 1;
    }
    keep(join, joining_bytes_);
  }
  for (; earlier != joined_.end(); ++earlier) keep(*earlier, joined_bytes_);
  joined_ = std::move(merged);
  joined_bytes_ = std::move(bytes);
  joining_.clear();
  joining_bytes_.clear();
  joining_bytes_.shrink_to_fit();
}

std::vector<SourceEdit> JoinRounds::joins() const {
  std::vector<SourceEdit> edits;
  edits.reserve(joined_.size());
  for (const Joined& join : joined_) {
    edits.push_back({join.start, join.end, joined_bytes_.substr(join.text_at, join.text_size)});
  }
  return edits;
}

std::string JoinRounds::joined_text() const {
  std::size_t size = text_.size();
  for (const Joined& join : joined_) size = size - (join.end - join.start) + join.text_size;
  std::string out;
  out.reserve(size);
  std::size_t done = 0;
  for (const Joined& join : joined_) {
    out.append(text_.substr(done, join.start - done));
    out.append(joined_bytes_, join.text_at, join.text_size);
    done = join.end;
  }
  out.append(text_.substr(done));
  return out;
}

OffsetMap JoinRounds::offsets() const {
  std::vector<JoinTrace::Cut> cuts;
  JoinTrace trace;
  for (const Joined& join : joined_) {
    auto first_literal = std::lower_bound(literals_.begin(), literals_.end(), std::size_t{join.start},
                                          [](const ByteRange& literal, std::size_t at) { return literal.end <= at; });
    trace.cuts.clear();
    (void)join_lines(text_, {join.start, join.end}, std::span<const ByteRange>(first_literal, literals_.end()),
                     std::numeric_limits<std::size_t>::max(), &trace);
    std::sort(trace.cuts.begin(), trace.cuts.end(),
              [](const JoinTrace::Cut& a, const JoinTrace::Cut& b) { return a.start < b.start; });
    cuts.insert(cuts.end(), trace.cuts.begin(), trace.cuts.end());
  }
  return OffsetMap(std::move(cuts));
}

}  // namespace tersify::compact
