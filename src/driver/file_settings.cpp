#include "driver/file_settings.h"

#include "util/digest.h"

namespace tersify::driver {

Result<FileSettings> file_settings(const std::string& path, const SettingOverrides& overrides, EditionMap& editions) {
  FileSettings settings;
  if (overrides.edition) {
    settings.edition = *overrides.edition;
  } else {
    auto edition = edition_for(path, editions);
    if (!edition) return fail(std::move(edition).error());
    settings.edition = std::move(*edition);
  }
  settings.max_width = overrides.max_width ? *overrides.max_width : max_width_for(path);
  return settings;
}

std::vector<std::string> rustfmt_args(const FileSettings& settings) {
  std::string config = "max_width=" + std::to_string(settings.max_width) +
                       ",use_small_heuristics=Max,disable_all_formatting=false";
  return {"--edition", settings.edition, "--emit", "stdout", "--config", std::move(config)};
}

std::string settings_key(const FileSettings& settings) {
  std::string key;
  append_key_part(key, "edition=" + settings.edition);
  append_key_part(key, "max_width=" + std::to_string(settings.max_width));
  return key;
}

}  // namespace tersify::driver
