// The configuration file that keeps plain rustfmt away from a package.
// Amendments are byte-exact: everything outside the replaced value stays.

#include "driver/rustfmt_toml.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "driver/package_metadata.h"
#include "driver/rustfmt_config.h"
#include "driver/toml_text.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/replace_file.h"

namespace tersify::driver {
namespace {

constexpr std::string_view setting_key = "disable_all_formatting";
constexpr std::string_view setting_line = "disable_all_formatting = true\n";

// Whether the Cargo.toml in `folder` declares a workspace. One that can't be
// read or parsed declares nothing here: cargo reports it when it matters.
bool declares_workspace(const std::string& folder) {
  auto text = read_regular_text_file(join_path(folder, "Cargo.toml"));
  if (!text) return false;
  auto root = read_toml_root(*text);
  return root && root->entries.contains("workspace");
}

// The root of the workspace of the package at `package` (canonical): the
// nearest folder at or above it whose manifest declares one, else the
// package itself.
std::string workspace_root(const std::string& package) {
  for (const auto& candidate : path_candidates(package)) {
    if (file_kind(join_path(candidate, "Cargo.toml")) == FileKind::regular && declares_workspace(candidate)) {
      return candidate;
    }
  }
  return package;
}

// The configuration file that rustfmt reads for the package at `package`,
// as far as the tool owns it: the nearest one from the package root up to
// its workspace root. Without one, a new rustfmt.toml goes to the package
// root, or to the workspace root when that is one of the run's `packages`
// too: it then serves every member, as rustfmt finds it from each.
std::string package_config(const std::string& package, const std::map<std::string, bool, PathLess>& packages) {
  std::string workspace = workspace_root(package);
  for (const auto& candidate : path_candidates(package)) {
    if (auto found = config_file_in(candidate)) return *found;
    if (paths_equal(candidate, workspace)) break;
  }
  return join_path(packages.contains(workspace) ? workspace : package, "rustfmt.toml");
}

// The folder that governs `path`: its own when it is a folder, else (a file,
// a FIFO) its parent's; resolved when it can be.
std::string start_folder(const std::string& path) {
  std::string start = path;
  if (auto kind = file_kind(path); kind && *kind != FileKind::directory) {
    // A bare file name's folder is the working directory.
    auto parent = parent_path(path);
    start = parent && !parent->empty() ? std::move(*parent) : std::string(".");
  }
  if (auto canonical = canonical_path(start)) start = std::move(*canonical);
  return start;
}

}  // namespace

std::vector<std::string> config_paths(const std::vector<std::string>& path_arguments,
                                      const std::vector<std::string>& source_files) {
  std::vector<std::string> paths;
  // Folders are looked up once: a package's files share a few.
  std::map<std::string, bool, PathLess> seen_folders;
  std::map<std::string, bool, PathLess> packages;
  auto add = [&](const std::string& path) {
    std::string folder = start_folder(path);
    if (!seen_folders.emplace(folder, true).second) return;
    if (auto root = package_root(folder)) {
      packages.emplace(std::move(*root), true);
    } else {
      paths.push_back(join_path(folder, "rustfmt.toml"));
    }
  };
  for (const auto& argument : path_arguments) add(argument);
  for (const auto& file : source_files) add(file);
  for (const auto& entry : packages) paths.push_back(package_config(entry.first, packages));
  std::stable_sort(paths.begin(), paths.end(), PathLess{});
  paths.erase(std::unique(paths.begin(), paths.end(),
                          [](const std::string& a, const std::string& b) { return paths_equal(a, b); }),
              paths.end());
  return paths;
}

Result<std::string> disabled_config_text(std::string_view old_text) {
  auto root = read_toml_root(old_text);
  if (!root) return fail(std::move(root).error());
  std::string text(old_text);
  if (auto found = root->entries.find(setting_key); found != root->entries.end()) {
    const TomlEntry& entry = found->second;
    if (entry.kind != TomlEntry::Kind::boolean || !entry.boolean) {
      text.replace(entry.start, entry.end - entry.start, "true");
    }
  } else if (root->has_tables) {
    // After a table header the line would belong to that table.
    text.insert(0, setting_line);
  } else {
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    text.append(setting_line);
  }
  return text;
}

Status disable_formatting(const std::string& config_path, bool check, std::vector<std::string>& update_list) {
  std::string old_text;
  if (auto read = read_regular_text_file(config_path)) {
    old_text = std::move(*read);
  } else if (read.error().errnum != ENOENT) {
    return fail(display_path(config_path) + ": " + read.error().message);
  }

  auto new_text = disabled_config_text(old_text);
  if (!new_text) return fail(display_path(config_path) + ": " + new_text.error());
  if (*new_text == old_text) return {};
  update_list.push_back(config_path);
  if (check) return {};
  if (auto written = replace_file(config_path, *new_text); !written) {
    return fail(display_path(config_path) + ": " + written.error());
  }
  return {};
}

}  // namespace tersify::driver
