#include "driver/folder_lookups.h"

#include "driver/package_metadata.h"
#include "driver/rustfmt_config.h"
#include "util/fs.h"

namespace tersify::driver {

FolderLookups::FolderLookups(const Environment& environment)
    : environment_(environment),
      configs_([](const std::string& folder) { return config_file_in_folder(folder); }),
      packages_([](const std::string& folder) -> std::optional<std::string> {
        if (is_package_root(folder)) return folder;
        return std::nullopt;
      }) {}

std::optional<std::string> FolderLookups::config_rustfmt_reads(std::string_view folder) const {
  if (auto found = configs_.nearest(folder)) return found;
  return config_outside_folders(environment_);
}

std::optional<std::string> FolderLookups::package_root(std::string_view path) const { return packages_.nearest(path); }

Result<std::string> FolderLookups::canonical_folder(const std::string& named) const {
  {
    std::lock_guard lock(mutex_);
    if (auto known = canonical_.find(named); known != canonical_.end()) return known->second;
  }
  auto canonical = canonical_path(named.empty() ? std::string(".") : named);
  if (!canonical) return canonical;
  std::lock_guard lock(mutex_);
  return canonical_.try_emplace(named, std::move(*canonical)).first->second;
}

void FolderLookups::know_canonical_folders(std::map<std::string, std::string> folders) {
  std::lock_guard lock(mutex_);
  canonical_.merge(folders);
}

}  // namespace tersify::driver
