#pragma once
// Where the bytes of a text land once its joins are made: each join turns
// line breaks with their indentation into one space or nothing and drops
// commas, so an offset moves by what the cuts before it removed.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compact/line_join.h"

namespace tersify::compact {

class OffsetMap {
 public:
  // No cuts: every offset stays.
  OffsetMap() = default;
  // `cuts` sorted by start, not overlapping.
  explicit OffsetMap(std::vector<JoinTrace::Cut> cuts);

  bool identity() const { return cuts_.empty(); }
  // Where the byte at `offset` (or the end of the text) lands; an offset
  // inside a cut lands where the cut's replacement starts.
  std::size_t operator()(std::size_t offset) const;
  // Whether the byte at `offset` is cut away.
  bool cut(std::size_t offset) const;

 private:
  struct Placed {
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t output_end;  // where the byte at `end` lands
  };
  std::vector<Placed> cuts_;
};

}  // namespace tersify::compact
