#pragma once
// Keeping plain rustfmt and cargo fmt away from the listed files: every
// configuration file that rustfmt reads for them is made to switch
// formatting off (the tool's own rustfmt runs switch it back on with
// --config). Amendments are byte-exact: everything outside the replaced
// value stays.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/environment.h"
#include "driver/folder_lookups.h"
#include "util/result.h"

namespace tersify::driver {

inline constexpr std::uint64_t default_max_width = 160;

// A configuration file to bring up to date.
struct ConfigFile {
  std::string path;
  // The folder the file belongs to: the workspace root of its package, or
  // the path argument for files outside every package. A symbolic link at
  // `path` is written through only when it leads to a place within it.
  std::string owner;
  // For a file still to be made: the configuration that rustfmt reads at
  // its place meanwhile (further up, in the home folder or in the user's
  // configuration folder), whose bytes the new file starts from so that it
  // changes no setting. Empty: none.
  std::string template_file;
  bool operator==(const ConfigFile&) const = default;
};

// The configuration files to amend or make for a run that lists
// `source_files` (found from `path_arguments`): for every listed file, the
// configuration file that rustfmt reads for it, where that lies in the
// file's package or its workspace (from the file's folder up to the
// workspace root, the nearest folder whose Cargo.toml declares [workspace],
// or else the package root); without one there, a new "rustfmt.toml" at the
// package root, or at the workspace root when the run covers it (an
// argument or a listed file is in the root's own package). For a file
// outside every package, the same with the path argument it was found below
// in place of the workspace. Nothing for a run that lists no file. Paths are
// resolved; sorted in path order, without duplicates. With `lookups`, the
// run's, the folders are looked at through them.
std::vector<ConfigFile> config_files_to_disable(const std::vector<std::string>& path_arguments,
                                                const std::vector<std::string>& source_files,
                                                const Environment& environment, const FolderLookups* lookups = nullptr);

// `old_text` with its root table's disable_all_formatting set to true (the
// value's bytes replaced, whatever the key's spelling), or with
// "disable_all_formatting = true" appended (put first when the text has
// tables) when it has none. Fails with the parser's message when the text is
// not TOML.
Result<std::string> disabled_config_text(std::string_view old_text);

// A configuration file's change: its text before and after.
struct ConfigUpdate {
  std::string path;
  bool created = false;  // the file did not exist: `old_text` is empty
  std::string old_text;
  std::string new_text;
};

// Makes every file of `files` say disable_all_formatting = true: a missing
// one is made from its template's bytes, or empty. First every file is read
// and checked, so that a refusal touches nothing: a file that can't be read,
// that rustfmt would refuse (parse_rustfmt_config), whose template is such a
// file, or that would be written through a symbolic link leading outside its
// owner fails the run. Then every file whose text changes is appended to
// `update_list` and, in write mode, replaced whole (util/replace_file.h).
// Fails with the line to print, about the file.
Status disable_formatting(const std::vector<ConfigFile>& files, bool check, std::vector<ConfigUpdate>& update_list);

}  // namespace tersify::driver
