#pragma once
// The check that compaction keeps what rustfmt's skip attributes leave alone:
// every outermost node of rustfmt's output that such an attribute leaves
// alone must come out of `compact` byte for byte, in the same order, and
// still starting its line with the same indentation when it did.

#include <cstddef>
#include <string>
#include <string_view>

namespace tersify::proof {

struct SkippedCheck {
  std::size_t nodes = 0;  // outermost skipped nodes in the formatted text
  std::string violation;  // empty when all of them were kept
};

SkippedCheck check_skipped_nodes(std::string_view formatted, std::string_view compacted);

}  // namespace tersify::proof
