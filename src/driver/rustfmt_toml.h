#pragma once
// The configuration file that rustfmt reads for each package, kept saying
// "disable_all_formatting = true" so that plain rustfmt and cargo fmt leave
// the package's files alone. The tool's own rustfmt runs switch formatting
// back on with --config.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify::driver {

inline constexpr std::uint64_t default_max_width = 160;

// The configuration files to amend for a run on `path_arguments` that lists
// `source_files`: for every package that one of them is in (the folder of a
// file, an argument folder itself), the nearest ".rustfmt.toml" or
// "rustfmt.toml" from its root up to the root of its workspace (the nearest
// folder whose Cargo.toml declares [workspace]), else "rustfmt.toml" at its
// root; for an argument outside every package, "rustfmt.toml" in its folder.
// Paths are resolved when they can be; sorted in path order, without
// duplicates.
std::vector<std::string> config_paths(const std::vector<std::string>& path_arguments,
                                      const std::vector<std::string>& source_files);

// `old_text` with its root table's disable_all_formatting set to true (the
// value's bytes replaced, whatever the key's spelling), or with
// "disable_all_formatting = true" appended (put first when the text has
// tables) when it has none. Fails with the parser's message when the text is
// not TOML.
Result<std::string> disabled_config_text(std::string_view old_text);

// Makes the file at `config_path` say disable_all_formatting = true. When its
// text changes the path is appended to `update_list`, and in write mode the
// new text replaces the file whole (util/replace_file.h). A missing file
// counts as empty. Fails with "{}: {}", the config path and the I/O error
// text or disabled_config_text's message.
Status disable_formatting(const std::string& config_path, bool check, std::vector<std::string>& update_list);

}  // namespace tersify::driver
