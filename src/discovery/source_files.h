#pragma once
// Source discovery: the Rust source files at or below the path arguments, in
// path order. Discovery never fails; whatever can't be read is passed over.

#include <string>
#include <string_view>
#include <vector>

namespace tersify::discovery {

// Appends the `.rs` files at or below `path` to `list`. A regular file is
// listed when its extension is exactly "rs"; a directory is searched depth
// first in directory order, skipping directories named "target" and hidden
// ones. Symbolic links are followed, but a directory already open on the
// current branch (a link cycle) is not entered again.
void rs_files(const std::string& path, std::vector<std::string>& list);

// rs_files for every path argument in order, then one stable sort in path
// order. Duplicates stay, next to each other.
std::vector<std::string> collect_source_files(const std::vector<std::string>& path_arguments);

}  // namespace tersify::discovery
