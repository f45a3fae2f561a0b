#pragma once
// Test support: published crates from Debian's registry, and whole trees
// copied and compared byte for byte.

#include <map>
#include <string>

namespace tersify::test {

// The directory of the crate `name` (any version) in the cargo registry
// folder that Debian's librust-*-dev packages fill (REGISTRY, default
// /usr/share/cargo/registry); "" when it is not installed.
std::string registry_crate(const std::string& name);

// Copies the tree at `from` to `to` (created), links kept as links.
void copy_tree(const std::string& from, const std::string& to);

// Copies the registry crate at `from` to `to` as a package of the user's
// own: without the .cargo-checksum.json that marks a vendored crate, which
// the tool leaves alone.
void copy_crate(const std::string& from, const std::string& to);

// Every entry below `dir` by relative path: a file's bytes, "-> target" for a
// symbolic link, "/" for a directory.
std::map<std::string, std::string> snapshot(const std::string& dir);

}  // namespace tersify::test
