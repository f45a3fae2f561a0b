#pragma once
// What a run finds by looking from a folder up to "/": the configuration
// file rustfmt reads there and the package the folder belongs to. Each
// folder is looked at once for each, whichever folder's lookup passes it
// first (util/upward_search.h), so a tree's lookups cost a few calls per
// folder rather than per folder and level.

#include <optional>
#include <string>
#include <string_view>

#include "driver/environment.h"
#include "util/upward_search.h"

namespace tersify::driver {

class FolderLookups {
 public:
  // Finds rustfmt's configuration as `environment` says (home folders),
  // which must outlive the lookups. Answers stand for the lookups' life:
  // lookups that outlive a change to the files they look for (a
  // rustfmt.toml the run made) must not be asked again.
  explicit FolderLookups(const Environment& environment);
  FolderLookups(const FolderLookups&) = delete;
  FolderLookups& operator=(const FolderLookups&) = delete;

  // config_rustfmt_reads (driver/rustfmt_config.h) for `folder`, a canonical
  // path. Thread-safe.
  std::optional<std::string> config_rustfmt_reads(std::string_view folder) const;

  // package_root (driver/package_metadata.h) of `path`. Thread-safe.
  std::optional<std::string> package_root(std::string_view path) const;

 private:
  const Environment& environment_;
  mutable UpwardSearch configs_;
  mutable UpwardSearch packages_;
};

}  // namespace tersify::driver
