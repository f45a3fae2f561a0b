#pragma once
// Source discovery: the Rust source files at or below the path arguments, in
// path order. A folder that can't be searched is a failure: a check must not
// pass over files it could not see.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify::discovery {

// Appends the `.rs` files at or below `path` to `list`. A regular file is
// listed when its extension is exactly "rs" (so is anything else but a
// directory when it is `path` itself, such as a FIFO, whose turn then fails);
// a directory is searched depth first in directory order, skipping
// directories named "target", hidden ones and vendored crates (a directory
// with an entry named ".cargo-checksum.json", as `cargo vendor` makes them).
// Symbolic links are followed, but a directory already open on the current
// branch (a link cycle) is not entered again, and no linked file or directory
// that lies outside `path` itself is listed or entered. Entries that are gone
// or are dangling links are passed over. Fails with "{path}: {I/O error
// text}" for a directory that can't be opened or read, and with "{path}: part
// of the vendored crate {folder} (it holds .cargo-checksum.json): a change
// would break the checksums that cargo checks" when `path` itself lies in a
// vendored crate (resolved: the folder is at or above its real place).
Status rs_files(const std::string& path, std::vector<std::string>& list);

// The canonical path of each folder a search entered, by its path as the
// search named it (the folder part of the paths it listed there): found on
// the way down, each entry's name onto its folder's, without a look of its
// own.
using SearchedFolders = std::map<std::string, std::string>;

// rs_files for every path argument in order, then one stable sort in path
// order. Duplicates stay, next to each other. With `folders`, the folders
// entered are noted there.
Result<std::vector<std::string>> collect_source_files(const std::vector<std::string>& path_arguments,
                                                      SearchedFolders* folders = nullptr);

}  // namespace tersify::discovery
