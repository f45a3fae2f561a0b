#pragma once
// A run's file settings, looked up once per folder: a file's settings are
// those of its folder (file_settings), so the files of one folder share one
// lookup, its canonical paths, edition and configuration file included.

#include <map>
#include <string>

#include "driver/file_settings.h"

namespace tersify::driver {

class FolderSettings {
 public:
  FolderSettings(SettingOverrides overrides, EditionMap& editions) : overrides_(std::move(overrides)), editions_(editions) {}

  // file_settings for `path`; a file whose folder (as named) was looked up
  // already takes that folder's settings. Failures are not remembered.
  Result<FileSettings> settings_for(const std::string& path);

 private:
  SettingOverrides overrides_;
  EditionMap& editions_;
  std::map<std::string, FileSettings> by_folder_;  // by the lexical folder of the files
};

}  // namespace tersify::driver
