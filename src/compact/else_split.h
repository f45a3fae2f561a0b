#pragma once
// The closing step of the compaction pass: in every if chain that stands as a
// statement, each `else` starts a line of its own at the column of the `if`.

#include <tree_sitter/api.h>

#include <string>
#include <string_view>

#include "compact/offset_map.h"

namespace tersify::compact {

// The blank between a branch's closing brace and the `else` after it becomes
// a line feed and the `if`'s indentation, for chains whose expression
// statement is followed by another named node or ends with ";". A gap that
// holds a line feed or anything but whitespace (a comment) stays. If chains
// whose value is used keep their `else` in place.
std::string split_statement_elses(std::string_view text);

// The same with a tree already parsed from exactly `text`.
std::string split_statement_elses(std::string_view text, const TSTree& tree);

// The same for `output`, which is `parsed` with joins made that leave its
// tree as it is but for their line breaks and dropped commas: `tree` was
// parsed from `parsed`, and `offsets` places its offsets in `output`.
std::string split_statement_elses(std::string_view parsed, const TSTree& tree, std::string_view output,
                                  const OffsetMap& offsets);

}  // namespace tersify::compact
