#pragma once

#include <cstddef>

namespace tersify::compact {

// Bytes [start, end) of a text.
struct ByteRange {
  std::size_t start = 0;
  std::size_t end = 0;
};

}  // namespace tersify::compact
