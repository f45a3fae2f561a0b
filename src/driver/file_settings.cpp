#include "driver/file_settings.h"

#include "driver/rustfmt_config.h"
#include "util/digest.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

// The canonical folder of the file or folder at `path`. A file that does
// not exist yet (an editor's new buffer) has the folder it would be in, and
// when that does not exist either, the nearest one above it that does.
Result<std::string> folder_of(const std::string& path, std::optional<FileKind> kind, const FolderLookups& lookups) {
  auto parent = parent_path(path);
  std::string folder = parent && !parent->empty() ? *parent : std::string(".");
  // A path that leads to a regular file names a folder that is there.
  if (kind == FileKind::regular) return lookups.canonical_folder(folder);
  if (file_kind(path) == FileKind::directory) return canonical_path(path);
  for (const auto& candidate : path_candidates(folder)) {
    std::string existing = candidate.empty() ? std::string(".") : candidate;
    if (file_kind(existing) == FileKind::directory) return canonical_path(existing);
  }
  return canonical_path(folder);
}

}  // namespace

Result<FileSettings> SettingsLookup::settings_of(const std::string& path) { return settings_of(path, file_kind(path)); }

Result<FileSettings> SettingsLookup::settings_of(const std::string& path, std::optional<FileKind> kind) {
  // Only a file that is there takes its folder's settings: a folder is its
  // own, and a missing file's nearest existing folder is looked for.
  auto folder = parent_path(path);
  if (!folder || kind != FileKind::regular) return look_up(path, kind);
  if (auto known = by_folder_.find(*folder); known != by_folder_.end()) return known->second;
  auto settings = look_up(path, kind);
  if (settings) by_folder_.emplace(std::move(*folder), *settings);
  return settings;
}

Result<FileSettings> SettingsLookup::look_up(const std::string& path, std::optional<FileKind> kind) {
  const SettingOverrides& overrides = overrides_;
  FileSettings settings;
  auto folder = folder_of(path, kind, folders_);
  if (!folder) return fail(std::move(folder).error());
  settings.folder = std::move(*folder);
  if (overrides.edition) {
    settings.edition = *overrides.edition;
  } else {
    auto edition =
        edition_for_folder(settings.folder, editions_, Cargo(environment_.program("cargo"), metadata_), &folders_);
    if (!edition) return fail(std::move(edition).error());
    settings.edition = std::move(*edition);
  }
  RustfmtConfig config;
  if (auto config_file = folders_.config_rustfmt_reads(settings.folder)) {
    auto known = configs_.find(*config_file);
    if (known == configs_.end()) {
      auto read = read_rustfmt_config(*config_file);
      if (!read) return fail(std::move(read).error());
      // rustfmt names the file it found by its canonical path.
      auto canonical = canonical_path(*config_file);
      known = configs_.emplace(*config_file, ReadConfig{*read, canonical ? *canonical : *config_file}).first;
    }
    config = known->second.config;
    settings.config_file = known->second.canonical;
  }
  settings.max_width = overrides.max_width.value_or(config.max_width.value_or(default_max_width));
  settings.tab_width = config.hard_tabs ? config.tab_spaces : 1;
  return settings;
}

Status take_width(const OptionValue& width, SettingOverrides& overrides) {
  auto value = positive_integer(width);
  if (!value) return fail(std::move(value).error());
  if (overrides.max_width) return fail(width.shown + ": only one width may be given");
  overrides.max_width = *value;
  return {};
}

std::vector<std::string> rustfmt_args(const FileSettings& settings, std::string_view more_config) {
  std::string config =
      "max_width=" + std::to_string(settings.max_width) + ",use_small_heuristics=Max,disable_all_formatting=false";
  if (!more_config.empty()) config.append(",").append(more_config);
  return {"--edition", settings.edition, "--emit", "stdout", "--config", std::move(config)};
}

std::string settings_key(const FileSettings& settings) {
  std::string key;
  append_key_part(key, "edition=" + settings.edition);
  append_key_part(key, "max_width=" + std::to_string(settings.max_width));
  // The folder itself is left out: what rustfmt takes from it (the
  // configuration, the toolchain) is in the key by content, so a moved or
  // copied tree keeps its entries.
  append_key_part(key, "tab_width=" + std::to_string(settings.tab_width));
  return key;
}

}  // namespace tersify::driver
