#include "driver/folder_settings.h"

#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {

Result<FileSettings> FolderSettings::settings_for(const std::string& path) {
  // Only a file that is there takes its folder's settings: a folder is its
  // own, and a missing file's nearest existing folder is looked for.
  auto kind = file_kind(path);
  auto folder = parent_path(path);
  if (kind != FileKind::regular || !folder) return file_settings(path, overrides_, editions_);
  if (auto known = by_folder_.find(*folder); known != by_folder_.end()) return known->second;
  auto settings = file_settings(path, overrides_, editions_);
  if (settings) by_folder_.emplace(*folder, *settings);
  return settings;
}

}  // namespace tersify::driver
