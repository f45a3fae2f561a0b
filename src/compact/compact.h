#pragma once
// The compaction pass: packs rustfmt's output into the tool's layout.

#include <cstddef>
#include <string>
#include <string_view>

namespace tersify::compact {

// Up to five rounds of joining short multi-line constructs that fit within
// `max_width` bytes, then `else` moved onto lines of its own in statement if
// chains. Never fails; the input is only read.
std::string compact(std::string_view text, std::size_t max_width);

struct CompactStats {
  std::size_t rounds = 0;  // joining rounds run, 1 to 5
};

// compact, also telling how many rounds it took.
std::string compact(std::string_view text, std::size_t max_width, CompactStats& stats);

// One joining round: every candidate that may be put on one line is, and
// nothing inside a joined construct is looked at. Every decision reads the
// round's unchanged text.
std::string compact_round(std::string_view text, std::size_t max_width);

}  // namespace tersify::compact
