#pragma once
// The Rust edition of each source file, from the manifest of its package.

#include <map>
#include <string>

#include "driver/cargo.h"
#include "util/paths.h"
#include "util/result.h"

namespace tersify::driver {

class FolderLookups;

// The run's cache: canonical manifest path ("/.../Cargo.toml") to the edition
// that cargo reports for that package. Keys compare in path order, so paths
// that differ only in doubled or trailing "/" are one key. Only grows.
using EditionMap = std::map<std::string, std::string, PathLess>;

// Used when no package governs a file, or cargo reports none for its manifest.
inline constexpr const char* default_edition = "2021";

// The edition for the file at `path` (or for a file in the folder `path`):
// its canonical path leads to the nearest package root; the edition comes from `editions`, or from one
// `cargo metadata` run that fills it. A manifest that cargo did not report is
// not remembered, so it is asked about again for the next file. Fails with the
// I/O error text of resolving the path or with load_packages' message.
// With `folders`, the package root is found through their shared walks.
Result<std::string> edition_for(const std::string& path, EditionMap& editions, const Cargo& cargo,
                                const FolderLookups* folders = nullptr);
// The same for a folder given by its canonical path.
Result<std::string> edition_for_folder(const std::string& canonical, EditionMap& editions, const Cargo& cargo,
                                       const FolderLookups* folders = nullptr);

}  // namespace tersify::driver
