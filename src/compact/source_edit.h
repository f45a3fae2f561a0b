#pragma once
// Pending text changes of one step and their application to a copy.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tersify::compact {

// Replace bytes [start, end) of the step's input text with `replacement`;
// start == end inserts. Offsets lie on UTF-8 character boundaries.
struct SourceEdit {
  std::size_t start = 0;
  std::size_t end = 0;
  std::string replacement;
};

// Applies `edits` to a copy of `text`, from the greatest start to the least
// (a stable sort, so that no offset ever needs adjusting), and returns the
// copy. The producers guarantee that the ranges do not overlap. An edit that
// runs past the text, is reversed or splits a character is an internal error.
std::string apply_edits(std::string_view text, std::vector<SourceEdit> edits);

}  // namespace tersify::compact
