#pragma once
// Everything a file's rustfmt run and its compaction depend on besides its
// text, found by one lookup. A rustfmt option is supported by a field here,
// its line in SettingsLookup::settings_of(), its line in rustfmt_args() and
// its line in settings_key(). rustfmt runs in the file's folder, so that it
// reads the configuration and gets the toolchain that cargo fmt would give
// the file.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/cargo.h"
#include "driver/edition.h"
#include "driver/environment.h"
#include "driver/folder_lookups.h"
#include "driver/rustfmt_config.h"
#include "driver/rustfmt_toml.h"
#include "util/command_line.h"
#include "util/fs.h"
#include "util/result.h"

namespace tersify::driver {

struct FileSettings {
  std::string edition = default_edition;
  std::uint64_t max_width = default_max_width;
  // The file's canonical folder: rustfmt's working directory. Empty: ours.
  std::string folder;
  // The columns a tab takes where rustfmt measures a line: tab_spaces with
  // hard_tabs, else 1 (rustfmt writes no tabs of its own then).
  std::uint64_t tab_width = 1;
  // The configuration file rustfmt reads there (canonical); empty: none.
  std::string config_file;
  bool operator==(const FileSettings&) const = default;
};

// What a command line sets for every file, over what the files' packages and
// rustfmt.toml files say.
struct SettingOverrides {
  std::optional<std::string> edition;
  std::optional<std::uint64_t> max_width;
};

// The option both programs take for the width.
inline constexpr ValueOption width_option{"--width"};

// The width option as a command line gave it: an integer from 1 up, given
// once. Fails with the line to print.
Status take_width(const OptionValue& width, SettingOverrides& overrides);

// Finds the settings of a run's files, on one thread. A file's settings are
// those of its folder, so the files of one folder share one lookup.
class SettingsLookup {
 public:
  // `editions` (the run's, which select_packages may have filled already)
  // must outlive the lookup, and so must `metadata` (the run's remembered
  // cargo metadata answers; none: cargo always runs).
  // `lookups`, when given, are the run's (which must outlive the lookup):
  // made before, and asked after, every configuration file the run makes.
  SettingsLookup(const Environment& environment, SettingOverrides overrides, EditionMap& editions,
                 const MetadataCache* metadata = nullptr, const FolderLookups* lookups = nullptr)
      : environment_(environment),
        own_folders_(lookups == nullptr ? std::optional<FolderLookups>(std::in_place, environment) : std::nullopt),
        folders_(lookups != nullptr ? *lookups : *own_folders_),
        overrides_(std::move(overrides)),
        editions_(editions),
        metadata_(metadata) {}

  // The settings of the file at `path` (which need not exist, nor its
  // folder: then the nearest folder above that does counts), or of a file
  // in the folder `path`: its folder, the edition of its package
  // (edition_for, which may run cargo metadata and fills the editions), then
  // the configuration file rustfmt reads there (config_rustfmt_reads) with its
  // width and tabs. Overrides take the place of the lookups. A regular file
  // whose folder (as named) was looked up already takes that folder's
  // settings. Fails with the I/O error text of resolving the folder,
  // edition_for's or read_rustfmt_config's message; failures are not
  // remembered.
  Result<FileSettings> settings_of(const std::string& path);
  // The same, with the kind of what is at `path` (following links) known.
  Result<FileSettings> settings_of(const std::string& path, std::optional<FileKind> kind);

 private:
  Result<FileSettings> look_up(const std::string& path, std::optional<FileKind> kind);

  const Environment& environment_;
  // Its own lookups, made after the run's configuration files are brought
  // up to date, unless the run's are given: nothing they look for changes
  // while they serve it.
  std::optional<FolderLookups> own_folders_;
  const FolderLookups& folders_;
  SettingOverrides overrides_;
  EditionMap& editions_;
  const MetadataCache* metadata_;
  std::map<std::string, FileSettings> by_folder_;  // by the lexical folder of the files
  // Each configuration file read once: what it sets, and its canonical path.
  struct ReadConfig {
    RustfmtConfig config;
    std::string canonical;
  };
  std::map<std::string, ReadConfig> configs_;  // by the path found for a folder
};

// rustfmt's arguments for a file: the edition, standard output, and a
// --config value with the width, small heuristics at Max, and formatting
// switched back on over the "disable_all_formatting = true" that the
// project's rustfmt.toml holds, then `more_config` ("key=value,...") when
// given. Settings with equal arguments format alike.
std::vector<std::string> rustfmt_args(const FileSettings& settings, std::string_view more_config = {});

// Every field of the settings that a result depends on as text, for the
// result cache's key: settings that format differently give different keys.
std::string settings_key(const FileSettings& settings);

}  // namespace tersify::driver
