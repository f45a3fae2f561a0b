#pragma once
// What a run finds by looking from a folder up to "/": the configuration
// file rustfmt reads there and the package the folder belongs to. Each
// folder is looked at once for each, whichever folder's lookup passes it
// first (util/upward_search.h), so a tree's lookups cost a few calls per
// folder rather than per folder and level; and each folder's canonical
// path. One set serves a run's ignore lists, configuration plan and
// settings, as long as no configuration file is made in between.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "driver/environment.h"
#include "util/result.h"
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

  // canonical_path of the folder `named` (as a path names it, "" for the
  // working folder), resolved once: a failure is not remembered.
  // Thread-safe.
  Result<std::string> canonical_folder(const std::string& named) const;
  // Takes the canonical paths of folders found otherwise (a search that
  // went down from a resolved folder) as canonical_folder's answers.
  void know_canonical_folders(std::map<std::string, std::string> folders);

 private:
  const Environment& environment_;
  mutable UpwardSearch configs_;
  mutable UpwardSearch packages_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::string> canonical_;  // by the folder as named
};

}  // namespace tersify::driver
