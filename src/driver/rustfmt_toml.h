#pragma once
// The project's rustfmt.toml files: the "disable_all_formatting = true" line
// kept at each package root, and the maximum width read for each source file.
// Both are scanned line by line; the files are never parsed as TOML.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify::driver {

inline constexpr std::uint64_t default_max_width = 160;

// One rustfmt.toml path per path argument: at the package root above the
// argument (its directory when it names a file; resolved when it can be), or
// in that directory itself outside every package. Sorted in path order,
// without duplicates.
std::vector<std::string> config_paths(const std::vector<std::string>& path_arguments);

// `old_text` with its first disable_all_formatting line set to true, or with
// "disable_all_formatting = true" appended when it has none. Only the value
// region changes: key spacing, a "#" comment and the line ends stay as they
// are. `old_text` must be valid UTF-8.
std::string disabled_config_text(std::string_view old_text);

// Makes the file at `config_path` say disable_all_formatting = true. When its
// text changes the path is appended to `update_list`, and in write mode the
// new text replaces the file whole (util/replace_file.h). A missing file
// counts as empty.
// Fails with "{}: {}", the config path and the I/O error text.
Status disable_formatting(const std::string& config_path, bool check, std::vector<std::string>& update_list);

// The max_width that a rustfmt.toml text sets, none when it sets none that
// parses.
std::optional<std::uint64_t> configured_max_width(std::string_view config_text);

// The width for the source file at `path` (or for a file in the folder
// `path`): the nearest rustfmt.toml that can be read as text decides, 160
// when none can or it sets no valid max_width. Never fails.
std::uint64_t max_width_for(const std::string& path);

}  // namespace tersify::driver
