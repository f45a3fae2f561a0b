#include "driver/ignored_files.h"

#include <algorithm>
#include <optional>

#include "driver/rustfmt_config.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
const IgnoredFiles::Folder& IgnoredFiles::folder_of(const std::string& parent) {
  if (auto known = folders_.find(parent); known != folders_.end()) return known->second;
  Folder folder;
  auto canonical = lookups_.canonical_folder(parent);
  if (canonical) folder.canonical = std::move(*canonical);
  std::optional<std::string> config_file;
  if (!folder.canonical.empty()) config_file = lookups_.config_rustfmt_reads(folder.canonical);
  if (config_file) {
    auto& list = configs_[*config_file];
    if (!list) {
      auto config = read_rustfmt_config(*config_file);
      auto root = canonical_path(parent_path(*config_file).value_or("/"));
      list = std::make_unique<IgnoreList>(
          IgnoreList{root ? std::move(*root) : std::string(),
                     GitignorePatterns(config ? config->ignore : std::vector<std::string>())});
    }
    if (!list->patterns.empty() && !list->root.empty()) folder.list = list.get();
  }
  return folders_.emplace(parent, std::move(folder)).first->second;
}

bool IgnoredFiles::ignored(const std::string& path) {
  auto name = file_name(path);
  if (!name) return false;
  const Folder& folder = folder_of(parent_path(path).value_or(""));
  if (folder.list == nullptr) return false;
  std::string path_there = join_path(folder.canonical, *name);
  auto relative = path_below(path_there, folder.list->root);
  return relative && !relative->empty() && folder.list->patterns.ignores(*relative);
}

std::vector<std::string> without_ignored_files(std::vector<std::string> files, const Environment& environment) {
  FolderLookups lookups(environment);
  return without_ignored_files(std::move(files), lookups);
}

std::vector<std::string> without_ignored_files(std::vector<std::string> files, const FolderLookups& lookups) {
  IgnoredFiles ignored_files(lookups);
  std::erase_if(files, [&](const std::string& file) { return ignored_files.ignored(file); });
  return files;
}

}  // namespace tersify::driver
