#pragma once
// rustfmt's configuration, as rustfmt itself finds and reads it: which file
// it takes for a folder (config_rustfmt_reads), and what of that file the
// tool depends on (RustfmtConfig): the width, how wide a hard tab is, and
// which files are left out. A setting the tool reads is a field of
// RustfmtConfig with its lines in parse_rustfmt_config, carried to each file
// by FileSettings (driver/file_settings.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/environment.h"
#include "util/result.h"

namespace tersify::driver {

// What the tool reads of a configuration; the rest is rustfmt's alone.
struct RustfmtConfig {
  std::optional<std::uint64_t> max_width;  // none: not set
  bool hard_tabs = false;
  std::uint64_t tab_spaces = 4;
  // rustfmt's `ignore`: gitignore-style patterns relative to the file's
  // folder (util/gitignore.h). Stable rustfmt refuses to apply them; the
  // tool applies them itself (driver/ignored_files.h).
  std::vector<std::string> ignore;
};

// The configuration in `text`. rustfmt refuses a file that is not TOML or
// gives a known key a value of the wrong type, so this fails too, with the
// reason.
Result<RustfmtConfig> parse_rustfmt_config(std::string_view text);

// The configuration file in `folder` itself: ".rustfmt.toml", else
// "rustfmt.toml", whichever is a file first (following links).
std::optional<std::string> config_file_in_folder(std::string_view folder);

// The file rustfmt started in `folder` (a canonical path) reads: the first
// config_file_in_folder from `folder` up to "/", then in the home folder, then in
// the user's configuration folder's "rustfmt" (XDG_CONFIG_HOME, else
// ~/.config).
std::optional<std::string> config_rustfmt_reads(std::string_view folder, const Environment& environment);

// Where rustfmt looks when no folder from its own up has a configuration
// file: the home folder, then the user's configuration folder's "rustfmt".
std::optional<std::string> config_outside_folders(const Environment& environment);

// The configuration in the file at `path`. Fails with the line to print
// (about the file) when it can't be read or parse_config_file fails.
Result<RustfmtConfig> read_rustfmt_config(const std::string& path);

// parse_rustfmt_config of `text`, the contents of the file at `path`. Fails
// with the line to print, about the file.
Result<RustfmtConfig> parse_config_file(const std::string& path, std::string_view text);

}  // namespace tersify::driver
