#pragma once
// The compaction pass as it ran before joins were decided on one tree: up to
// five rounds, each parsing the text the round before left, then the else
// splitting. Kept as the reference that the one-tree engine is compared with
// byte for byte (tests, the fuzz target and the property check over crates).

#include <cstddef>
#include <string>
#include <string_view>

namespace tersify::reference {

struct RoundStats {
  std::size_t rounds = 0;  // joining rounds run, 1 to 5
  std::size_t parses = 0;  // texts parsed
};

// The compacted text, each round parsing its text again.
std::string compact_in_rounds(std::string_view text, std::size_t max_width, std::size_t tab_width = 1);
std::string compact_in_rounds(std::string_view text, std::size_t max_width, std::size_t tab_width, RoundStats& stats);

}  // namespace tersify::reference
