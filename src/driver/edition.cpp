#include "driver/edition.h"

#include "driver/folder_lookups.h"
#include "driver/package_metadata.h"
#include "util/fs.h"

namespace tersify::driver {

// The search for a package root starts at the canonical path itself, and a
// file has no Cargo.toml below it, so a file and its directory have the same
// package.
Result<std::string> edition_for(const std::string& path, EditionMap& editions, const Cargo& cargo,
                                const FolderLookups* folders) {
  auto canonical = canonical_path(path);
  if (!canonical) return fail(std::move(canonical).error());
  return edition_for_folder(*canonical, editions, cargo, folders);
}

Result<std::string> edition_for_folder(const std::string& canonical, EditionMap& editions, const Cargo& cargo,
                                       const FolderLookups* folders) {
  auto root = folders != nullptr ? folders->package_root(canonical) : package_root(canonical);
  if (!root) return std::string(default_edition);

  // Not resolved again: a Cargo.toml that is a symbolic link is entered under
  // its target by load_packages and so is never found here.
  std::string manifest = join_path(*root, "Cargo.toml");
  if (auto known = editions.find(manifest); known != editions.end()) return known->second;

  if (auto loaded = load_packages(manifest, editions, cargo); !loaded) return fail(std::move(loaded).error());
  if (auto known = editions.find(manifest); known != editions.end()) return known->second;
  return std::string(default_edition);
}

}  // namespace tersify::driver
