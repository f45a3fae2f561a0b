#pragma once
// Joining a construct's lines into one, and measuring the line that results.
//
// The joined text J keeps the first line as it is and appends every further
// line without its leading whitespace, after one space unless the line starts
// with one of , . ; ? ) ] ; then every ", }" outside a literal or a macro's
// token tree becomes " }", which drops the trailing comma the formatter puts
// after a list's last member (a macro's tokens are its input, and its pattern
// may need that comma). The line that a join gives is W = C + len(J) + R bytes wide: C bytes
// before the construct on its first line, R after it on its last line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compact/byte_range.h"
#include "compact/source_edit.h"

namespace tersify::compact {

// How J came from the text, for a caller that places positions of the text in
// J or must know whether J still reads as the same tokens.
struct JoinTrace {
  // Bytes [start, end) of the text that become one space or nothing: a line
  // break with what surrounds it (the carriage return before it, the
  // indentation after it), or a dropped comma. Recorded in the order made, so
  // a comma comes after the cut of the line break behind it.
  struct Cut {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool space = false;
  };
  std::vector<Cut> cuts;
  // A line was appended without a space where the bytes might read as other
  // tokens than on two lines ("1" and ".0"), or lost leading whitespace that is
  // not ASCII.
  bool may_read_otherwise = false;
};

// J for the bytes `range` of `text`, or none as soon as J is known to grow
// longer than `max_length`. With `trace`, also how J came about. `literals` are the byte ranges of the string,
// raw string and character literals and of the outermost macro token trees of
// `text`, sorted by start and not overlapping; ", }" inside them is left
// alone. Lines end at a line feed, a
// carriage return in front of it included.
std::optional<std::string> join_lines(std::string_view text, ByteRange range, std::span<const ByteRange> literals,
                                      std::size_t max_length, JoinTrace* trace = nullptr);

// join_lines that appends J to `out` instead, allocating nothing more; false,
// with `out` as it was, when J grows longer than `max_length`.
bool append_joined_lines(std::string& out, std::string_view text, ByteRange range, std::span<const ByteRange> literals,
                         std::size_t max_length, JoinTrace* trace = nullptr);

// J for a whole text that holds no literals.
std::string join_lines(std::string_view text);

// Where the text's first and last line feeds are, found once per text.
struct LineFeeds {
  explicit LineFeeds(std::string_view text) : first(text.find('\n')), last(text.rfind('\n')) {}
  std::size_t first;  // npos when there is none
  std::size_t last;
};

// C + R for a construct at `range` of `text`, in columns where a tab takes
// `tab_width` (as rustfmt measures a line with hard tabs), or none when that
// exceeds `limit`. C is measured on the text with `joins_before` made: the
// joins of the round that lie before the construct, sorted by start and not
// overlapping, so that two joins on one line never make it wider than the
// limit together. R is measured on the text as it is. C counts from the
// start of the text when no line feed precedes the construct, R up to the
// end of the text when none follows it. Looks at no more than about `limit`
// bytes on either side, so that measuring stays cheap on long lines.
std::optional<std::size_t> surrounding_width(std::string_view text, const LineFeeds& line_feeds, ByteRange range,
                                             std::size_t limit, std::size_t tab_width = 1,
                                             std::span<const SourceEdit> joins_before = {});

// The columns of `text` on one line, a tab taking `tab_width`.
std::size_t columns(std::string_view text, std::size_t tab_width);

// W for a construct at `range` replaced by a joined text of `joined_length`
// bytes.
std::size_t line_width(std::string_view text, ByteRange range, std::size_t joined_length);

}  // namespace tersify::compact
