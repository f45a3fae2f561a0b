#include "compact/offset_map.h"

#include <algorithm>

#include "util/fatal.h"

namespace tersify::compact {

OffsetMap::OffsetMap(std::vector<JoinTrace::Cut> cuts) : cuts_(std::move(cuts)) {
  shift_.reserve(cuts_.size());
  std::int64_t shift = 0;
  std::uint32_t previous_end = 0;
  for (const JoinTrace::Cut& cut : cuts_) {
    if (cut.start < previous_end || cut.end < cut.start) internal_error("the cuts of the joins overlap");
    previous_end = cut.end;
    shift += (cut.space ? 1 : 0) - static_cast<std::int64_t>(cut.end - cut.start);
    shift_.push_back(shift);
  }
}

std::size_t OffsetMap::operator()(std::size_t offset) const {
  // The cuts that end at or before the offset moved it; one that holds it
  // places it at its replacement.
  auto after = std::upper_bound(cuts_.begin(), cuts_.end(), offset,
                                [](std::size_t at, const JoinTrace::Cut& cut) { return at < cut.end; });
  auto done = static_cast<std::size_t>(after - cuts_.begin());
  std::int64_t shift = done == 0 ? 0 : shift_[done - 1];
  if (after != cuts_.end() && after->start < offset) offset = after->start;
  return static_cast<std::size_t>(static_cast<std::int64_t>(offset) + shift);
}

bool OffsetMap::cut(std::size_t offset) const {
  auto after = std::upper_bound(cuts_.begin(), cuts_.end(), offset,
                                [](std::size_t at, const JoinTrace::Cut& cut) { return at < cut.end; });
  return after != cuts_.end() && after->start <= offset;
}

}  // namespace tersify::compact
