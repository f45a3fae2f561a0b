#include "compact/offset_map.h"

#include <algorithm>

#include "util/fatal.h"

namespace tersify::compact {

OffsetMap::OffsetMap(std::vector<JoinTrace::Cut> cuts) {
  cuts_.reserve(cuts.size());
  std::uint32_t previous_end = 0;
  std::uint32_t output_end = 0;
  for (const JoinTrace::Cut& cut : cuts) {
    if (cut.start < previous_end || cut.end < cut.start) internal_error("the cuts of the joins overlap");
    output_end += (cut.start - previous_end) + (cut.space ? 1u : 0u);
    cuts_.push_back({cut.start, cut.end, output_end});
    previous_end = cut.end;
  }
}

std::size_t OffsetMap::operator()(std::size_t offset) const {
  // The cuts that end at or before the offset moved it; one that holds it
  // places it at its replacement.
  auto after = std::upper_bound(cuts_.begin(), cuts_.end(), offset,
                                [](std::size_t at, const Placed& cut) { return at < cut.end; });
  if (after != cuts_.end() && after->start < offset) offset = after->start;
  if (after == cuts_.begin()) return offset;
  const Placed& done = *(after - 1);
  return done.output_end + (offset - done.end);
}

bool OffsetMap::cut(std::size_t offset) const {
  auto after = std::upper_bound(cuts_.begin(), cuts_.end(), offset,
                                [](std::size_t at, const Placed& cut) { return at < cut.end; });
  return after != cuts_.end() && after->start <= offset;
}

}  // namespace tersify::compact
