#pragma once
// The files that rustfmt's `ignore` setting leaves out: the gitignore-style
// patterns of the configuration file that rustfmt reads for a file,
// relative to that configuration file's folder, as rustfmt reads them. Only
// nightly rustfmt applies the setting (stable rustfmt warns that it can't),
// so the tool applies it itself, with every rustfmt: a file left out is
// never listed, so it is neither formatted nor reported.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/environment.h"
#include "driver/folder_lookups.h"
#include "util/gitignore.h"

namespace tersify::driver {

// The lookups of one run: each folder's configuration file is found once,
// and each configuration file read once.
class IgnoredFiles {
 public:
  // `environment` (where rustfmt's configuration is found) must outlive the
  // lookups.
  explicit IgnoredFiles(const Environment& environment)
      : own_lookups_(std::in_place, environment), lookups_(*own_lookups_) {}
  // With the run's lookups, which must outlive these.
  explicit IgnoredFiles(const FolderLookups& lookups) : lookups_(lookups) {}

  // Whether the file at `path` (which need not exist) is left out: the
  // configuration file rustfmt reads in its folder (config_rustfmt_reads) has an
  // `ignore` list that matches the file's path below that configuration
  // file's folder, or a folder on that path. Paths are canonical apart from
  // the file's own name (a linked file is matched by its link's name). A
  // configuration file that can't be read or parsed leaves nothing out: the
  // file's settings then fail at its turn with the reason.
  bool ignored(const std::string& path);

 private:
  struct IgnoreList {
    std::string root;  // the configuration file's canonical folder
    GitignorePatterns patterns;
  };
  struct Folder {
    std::string canonical;             // empty: it can't be resolved
    const IgnoreList* list = nullptr;  // null: nothing left out there
  };
  const Folder& folder_of(const std::string& parent);

  std::optional<FolderLookups> own_lookups_;
  const FolderLookups& lookups_;
  std::map<std::string, Folder> folders_;  // by the lexical parent of the files
  std::map<std::string, std::unique_ptr<IgnoreList>> configs_;
};

// `files` without the ones IgnoredFiles leaves out, in their order.
std::vector<std::string> without_ignored_files(std::vector<std::string> files, const Environment& environment);
std::vector<std::string> without_ignored_files(std::vector<std::string> files, const FolderLookups& lookups);

}  // namespace tersify::driver
