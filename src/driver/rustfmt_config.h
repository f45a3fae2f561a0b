#pragma once
// The configuration file that rustfmt takes for a folder, found and read as
// rustfmt finds and reads it, for what the tool itself depends on: the
// width, how wide a hard tab is, and which files are left out.

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
// gives a known key a value of the wrong type, so this fails too: with the
// parser's message, or with "{key}: expected an unsigned integer" or
// "{key}: expected a boolean" or "{key}: expected an array of strings".
Result<RustfmtConfig> parse_rustfmt_config(std::string_view text);

// The configuration file in `folder` itself: ".rustfmt.toml", else
// "rustfmt.toml", whichever is a file first (following links).
std::optional<std::string> config_file_in(std::string_view folder);

// The file rustfmt started in `folder` (a canonical path) reads: the first
// config_file_in from `folder` up to "/", then in the home folder, then in
// the user's configuration folder's "rustfmt" (XDG_CONFIG_HOME, else
// ~/.config).
std::optional<std::string> config_file_for(std::string_view folder, const Environment& environment);

// The configuration in the file at `path`. Fails with "{file}: {message}"
// when it can't be read or parse_rustfmt_config fails.
Result<RustfmtConfig> read_rustfmt_config(const std::string& path);

}  // namespace tersify::driver
