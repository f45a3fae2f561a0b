#include "compact/line_join.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "util/text.h"

namespace tersify::compact {
namespace {

bool joins_without_space(char c) {
  return c == ',' || c == '.' || c == ';' || c == '?' || c == ')' || c == ']';
}

// Offset of the first byte in [from, to) that is not White_Space.
std::size_t skip_leading_whitespace(std::string_view text, std::size_t from, std::size_t to) {
  while (from < to) {
    unsigned char c = static_cast<unsigned char>(text[from]);
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) {
      ++from;
    } else if (c < 0x80) {
      return from;
    } else {
      std::string_view rest = text.substr(from, to - from);
      return to - trim_start_whitespace(rest).size();
    }
  }
  return from;
}

// Builds J byte by byte, replacing ", }" as it goes: when a '}' outside a
// literal arrives right after ", " outside a literal, the comma is dropped.
// Occurrences cannot overlap, so this equals one left-to-right scan of the
// finished text, and J never gets shorter, which lets a join stop as soon as
// it is too long.
class JoinedText {
 public:
  // J goes at the end of `out`, whose bytes before stay as they are.
  JoinedText(std::string& out, std::string_view text, std::span<const ByteRange> literals, std::size_t max_length,
             JoinTrace* trace)
      : text_(text),
        literals_(literals),
        literal_end_(out.size()),
        base_(out.size()),
        max_length_(max_length),
        trace_(trace),
        joined_(out) {}

  // Appends bytes [from, to) of the text; false once J is too long.
  bool append(std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to; ++at) {
      char c = text_[at];
      bool in_literal = inside_literal(at);
      if (c == '}' && !in_literal) drop_trailing_comma();
      push(c, at);
      if (in_literal) literal_end_ = joined_.size();
    }
    return joined_.size() - base_ <= max_length_;
  }

  bool append_space() {
    push(' ', no_offset);
    return joined_.size() - base_ <= max_length_;
  }

  // Whether appending a line that starts with `first` right after J could
  // lex otherwise than with the line break between: a '.' after a number
  // ("1" ".0" against "1.0") or after another '.'.
  bool glue_may_merge(char first) const {
    if (first != '.' || joined_.size() == base_) return false;
    if (joined_.back() == '.') return true;
    std::size_t run = joined_.size();
    while (run > base_ && is_word_byte(joined_[run - 1])) --run;
    return run < joined_.size() && joined_[run] >= '0' && joined_[run] <= '9';
  }

  // Takes J out of `out` again.
  void discard() { joined_.resize(base_); }

 private:
  static constexpr std::size_t no_offset = static_cast<std::size_t>(-1);

  static bool is_word_byte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  }

  void push(char c, std::size_t offset) {
    joined_.push_back(c);
    before_last_offset_ = last_offset_;
    last_offset_ = offset;
  }

  bool inside_literal(std::size_t at) {
    while (next_literal_ < literals_.size() && literals_[next_literal_].end <= at) ++next_literal_;
    return next_literal_ < literals_.size() && literals_[next_literal_].start <= at;
  }

  void drop_trailing_comma() {
    std::size_t n = joined_.size();
    if (n >= base_ + 2 && n - 2 >= literal_end_ && joined_[n - 1] == ' ' && joined_[n - 2] == ',') {
      if (trace_ != nullptr) {
        auto comma = static_cast<std::uint32_t>(before_last_offset_);
        trace_->cuts.push_back({comma, comma + 1, false});
      }
      joined_[n - 2] = ' ';
      joined_.pop_back();
      // The byte before the space is unknown now; a next drop needs two new
      // bytes after the '}' that follows anyway.
      before_last_offset_ = no_offset;
    }
  }

  std::string_view text_;
  std::span<const ByteRange> literals_;
  std::size_t next_literal_ = 0;
  std::size_t literal_end_;  // J's bytes from here on are outside literals
  std::size_t base_;         // where J starts in `joined_`
  std::size_t max_length_;
  JoinTrace* trace_;
  std::size_t last_offset_ = no_offset;  // where the last two bytes of J came from
  std::size_t before_last_offset_ = no_offset;
  std::string& joined_;
};

}  // namespace

std::optional<std::string> join_lines(std::string_view text, ByteRange range, std::span<const ByteRange> literals,
                                      std::size_t max_length, JoinTrace* trace) {
  std::string joined;
  if (!append_joined_lines(joined, text, range, literals, max_length, trace)) return std::nullopt;
  return joined;
}

bool append_joined_lines(std::string& out, std::string_view text, ByteRange range, std::span<const ByteRange> literals,
                         std::size_t max_length, JoinTrace* trace) {
  JoinedText joined(out, text, literals, max_length, trace);
  std::size_t at = range.start;
  std::size_t previous_end = 0;  // where the line before ends, its carriage return excluded
  bool first = true;
  while (at < range.end) {
    const void* found = std::memchr(text.data() + at, '\n', range.end - at);
    std::size_t line_end = found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                                            : range.end;
    std::size_t next = found != nullptr ? line_end + 1 : range.end;
    if (found != nullptr && line_end > at && text[line_end - 1] == '\r') --line_end;
    bool fits;
    if (first) {
      fits = joined.append(at, line_end);
      first = false;
    } else {
      std::size_t content = skip_leading_whitespace(text, at, line_end);
      bool glued = content < line_end && joins_without_space(text[content]);
      if (trace != nullptr) {
        trace->cuts.push_back({static_cast<std::uint32_t>(previous_end), static_cast<std::uint32_t>(content), !glued});
        if (glued && joined.glue_may_merge(text[content])) trace->may_read_otherwise = true;
        for (std::size_t i = at; i < content; ++i) {
          if (static_cast<unsigned char>(text[i]) >= 0x80) trace->may_read_otherwise = true;
        }
      }
      if (glued) {
        fits = joined.append(content, line_end);
      } else {
        fits = joined.append_space() && joined.append(content, line_end);
      }
    }
    if (!fits) {
      joined.discard();
      return false;
    }
    previous_end = line_end;
    at = next;
  }
  return true;
}

std::string join_lines(std::string_view text) {
  return *join_lines(text, {0, text.size()}, {}, std::numeric_limits<std::size_t>::max());
}

std::size_t columns(std::string_view text, std::size_t tab_width) {
  if (tab_width == 1) return text.size();
  auto tabs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t'));
  return text.size() - tabs + tabs * tab_width;
}

std::optional<std::size_t> surrounding_width(std::string_view text, const LineFeeds& line_feeds, ByteRange range,
                                             std::size_t limit, std::size_t tab_width,
                                             std::span<const SourceEdit> joins_before) {
  // C: the line before the construct as it reads with the joins before it
  // made. A join holds no line feed, so the line runs back through every join
  // that ends on it. Each stretch of the text is searched for no more than
  // the width still left plus one byte: a line feed further away already
  // makes the line too wide.
  std::size_t column = 0;
  std::size_t at = range.start;
  std::size_t joins_left = joins_before.size();
  for (;;) {
    std::size_t floor = joins_left > 0 ? joins_before[joins_left - 1].end : 0;
    std::size_t stretch = at - floor;
    std::size_t searched = limit - column < stretch ? limit - column + 1 : stretch;
    const void* found = nullptr;
    if (line_feeds.first != std::string_view::npos && line_feeds.first < at) {
      found = memrchr(text.data() + (at - searched), '\n', searched);
    }
    if (found != nullptr) {
      std::size_t line_start = static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) + 1;
      column += columns(text.substr(line_start, at - line_start), tab_width);
      break;
    }
    if (searched < stretch) return std::nullopt;
    column += columns(text.substr(floor, stretch), tab_width);
    if (column > limit) return std::nullopt;
    // On the text's first line everything before the construct is on its line.
    if (joins_left == 0) break;
    const SourceEdit& join = joins_before[--joins_left];
    column += columns(join.replacement, tab_width);
    if (column > limit) return std::nullopt;
    at = join.start;
  }
  if (column > limit) return std::nullopt;

  // R: the rest of the construct's last line, as the text has it.
  std::size_t rest_limit = limit - column;
  std::size_t rest = 0;
  if (line_feeds.last != std::string_view::npos && line_feeds.last >= range.end) {
    std::size_t available = text.size() - range.end;
    std::size_t after = rest_limit < available ? rest_limit + 1 : available;
    const void* found = std::memchr(text.data() + range.end, '\n', after);
    if (found == nullptr) return std::nullopt;
    rest = static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) - range.end;
  } else {
    // On a last line without a line feed, the rest of the text is on its line.
    rest = text.size() - range.end;
  }
  if (rest > rest_limit) return std::nullopt;
  std::size_t width = column + columns(text.substr(range.end, rest), tab_width);
  if (width > limit) return std::nullopt;
  return width;
}

std::size_t line_width(std::string_view text, ByteRange range, std::size_t joined_length) {
  return *surrounding_width(text, LineFeeds(text), range, std::numeric_limits<std::size_t>::max()) + joined_length;
}

}  // namespace tersify::compact
