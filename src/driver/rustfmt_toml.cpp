#include "driver/rustfmt_toml.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <set>

#include "driver/folder_lookups.h"
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
  // A manifest that names no workspace, bare, quoted or escaped (the only
  // way to spell the key without its letters), declares none: most don't,
  // and need not be parsed.
  if (text->find("workspace") == std::string::npos && text->find('\\') == std::string::npos) return false;
  auto root = read_toml_root(*text);
  return root && root->entries.contains("workspace");
}

// The root of the workspace of the package at `package` (canonical): the
// nearest folder at or above it whose manifest declares one, else the
// package itself. `declaring` remembers what each folder's manifest said,
// so that the members of one workspace read its root's manifest once.
std::string workspace_root(const std::string& package, std::map<std::string, bool, PathLess>& declaring) {
  for (const auto& candidate : path_candidates(package)) {
    auto [known, fresh] = declaring.try_emplace(candidate, false);
    if (fresh) {
      known->second =
          file_kind(join_path(candidate, "Cargo.toml")) == FileKind::regular && declares_workspace(candidate);
    }
    if (known->second) return candidate;
  }
  return package;
}

// The nearest configuration file from `folder` up to `owner` (both
// resolved, `folder` within `owner`): the one rustfmt reads for the files
// in `folder`, when it is the project's.
std::optional<std::string> nearest_config(const FolderLookups& folders, const std::string& folder,
                                          const std::string& owner) {
  // The one rustfmt reads, unless it lies above `owner` or is not in a folder
  // on the way up (one in the home folders).
  auto found = folders.config_rustfmt_reads(folder);
  if (!found) return std::nullopt;
  auto found_in = parent_path(*found);
  if (!found_in || !lies_within(folder, *found_in) || !lies_within(*found_in, owner)) return std::nullopt;
  return found;
}

// A new rustfmt.toml in `folder`, starting from what rustfmt reads there
// now.
ConfigFile new_config(const std::string& folder, const std::string& owner, const Environment& environment) {
  return {join_path(folder, "rustfmt.toml"), owner, config_rustfmt_reads(folder, environment).value_or("")};
}

// The folder that `path`, a file's, names, resolved when it can be: a bare
// file name's is the working directory.
std::string folder_named_by(const std::string& path) {
  auto parent = parent_path(path);
  std::string folder = parent && !parent->empty() ? std::move(*parent) : std::string(".");
  auto canonical = canonical_path(folder);
  return canonical ? std::move(*canonical) : folder;
}

// The folder that governs `path`: its own when it is a folder, else (a file,
// a FIFO) its parent's; resolved when it can be.
std::string start_folder(const std::string& path) {
  if (auto kind = file_kind(path); kind && *kind != FileKind::directory) return folder_named_by(path);
  auto canonical = canonical_path(path);
  return canonical ? std::move(*canonical) : path;
}

// The change that makes `file` say disable_all_formatting = true (none when
// it does), checked as disable_formatting promises.
Result<std::optional<ConfigUpdate>> planned_update(const ConfigFile& file) {
  ConfigUpdate update{.path = file.path, .created = false, .old_text = {}, .new_text = {}};
  std::string start;
  if (auto read = read_regular_text_file(file.path)) {
    if (auto valid = parse_config_file(file.path, *read); !valid) return fail(std::move(valid).error());
    update.old_text = std::move(*read);
    start = update.old_text;
  } else if (read.error().errnum != ENOENT) {
    return fail(about_path(file.path, read.error().message));
  } else {
    update.created = true;
    if (!file.template_file.empty()) {
      auto text = read_regular_text_file(file.template_file);
      if (!text) return fail(about_path(file.template_file, text.error().message));
      if (auto valid = parse_config_file(file.template_file, *text); !valid) return fail(std::move(valid).error());
      start = std::move(*text);
    }
  }

  auto new_text = disabled_config_text(start);
  if (!new_text) return fail(about_path(file.path, new_text.error()));
  if (!update.created && *new_text == update.old_text) return std::optional<ConfigUpdate>();
  update.new_text = std::move(*new_text);

  // A link planted in a folder others may write must not carry the write to
  // a file of the user's elsewhere, nor make one there.
  auto destination = link_destination(file.path);
  if (!destination) return fail(about_path(file.path, destination.error()));
  if (*destination && !lies_within(**destination, file.owner)) {
    return fail(about_path(file.path, "a symbolic link to " + display_path(**destination) + ", which lies outside " +
                                          display_path(file.owner)));
  }
  return std::optional<ConfigUpdate>(std::move(update));
}

}  // namespace

std::vector<ConfigFile> config_files_to_disable(const std::vector<std::string>& path_arguments,
                                                const std::vector<std::string>& source_files,
                                                const Environment& environment, const FolderLookups* lookups) {
  // The packages the run covers, which decide whether a new file goes to a
  // workspace root, and the arguments outside every package.
  std::map<std::string, bool, PathLess> packages;
  std::vector<std::pair<const std::string*, std::string>> loose_arguments;
  // Nothing is written before the files are found.
  std::optional<FolderLookups> own_lookups;
  if (lookups == nullptr) lookups = &own_lookups.emplace(environment);
  const FolderLookups& folders = *lookups;
  for (const auto& argument : path_arguments) {
    std::string folder = start_folder(argument);
    if (auto root = folders.package_root(folder)) {
      packages.emplace(std::move(*root), true);
    } else {
      loose_arguments.emplace_back(&argument, std::move(folder));
    }
  }

  // The folders of the listed files with their packages, looked up once per
  // folder; for files outside every package, their folders with the
  // argument folders they were found below.
  std::map<std::string, std::optional<std::string>, PathLess> package_of;
  std::set<std::pair<std::string, std::string>> loose_folders;
  // Files of one named folder have one folder: resolved once.
  std::map<std::string, std::string> folder_named;
  for (const auto& file : source_files) {
    // A listed file is never a folder, so its folder is the one its path
    // names.
    auto named = parent_path(file);
    std::string folder;
    if (named) {
      auto [known, fresh_name] = folder_named.try_emplace(*named);
      if (fresh_name) {
        auto canonical = folders.canonical_folder(*named);
        known->second = canonical ? std::move(*canonical) : named->empty() ? std::string(".") : *named;
      }
      folder = known->second;
    } else {
      folder = start_folder(file);
    }
    auto [entry, fresh] = package_of.try_emplace(folder);
    if (fresh) {
      entry->second = folders.package_root(folder);
      if (entry->second) packages.emplace(*entry->second, true);
    }
    if (entry->second) continue;
    bool found = false;
    for (const auto& [argument, argument_folder] : loose_arguments) {
      // The search joined names onto the argument as given.
      if (!path_below(file, *argument)) continue;
      loose_folders.emplace(folder, argument_folder);
      found = true;
    }
    if (!found) loose_folders.emplace(folder, folder);
  }

  std::vector<ConfigFile> files;
  auto add = [&](const std::string& folder, const std::string& owner, const std::string& new_folder) {
    if (auto found = nearest_config(folders, folder, owner)) {
      files.push_back({std::move(*found), owner, ""});
    } else {
      files.push_back(new_config(new_folder, owner, environment));
    }
  };
  std::map<std::string, std::string, PathLess> workspaces;  // package root to workspace root
  std::map<std::string, bool, PathLess> declaring;          // folder to whether its manifest declares one
  for (const auto& [folder, root] : package_of) {
    if (!root) continue;
    auto known = workspaces.find(*root);
    if (known == workspaces.end()) known = workspaces.emplace(*root, workspace_root(*root, declaring)).first;
    const std::string& workspace = known->second;
    // A new file at a workspace root the run covers serves every member, as
    // rustfmt finds it from each.
    add(folder, workspace, packages.contains(workspace) ? workspace : *root);
  }
  for (const auto& [folder, owner] : loose_folders) add(folder, owner, owner);

  std::stable_sort(files.begin(), files.end(),
                   [](const ConfigFile& a, const ConfigFile& b) { return path_less(a.path, b.path); });
  files.erase(std::unique(files.begin(), files.end(),
                          [](const ConfigFile& a, const ConfigFile& b) { return paths_equal(a.path, b.path); }),
              files.end());
  return files;
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

Status disable_formatting(const std::vector<ConfigFile>& files, bool check, std::vector<ConfigUpdate>& update_list) {
  std::vector<ConfigUpdate> updates;
  for (const auto& file : files) {
    auto update = planned_update(file);
    if (!update) return fail(std::move(update).error());
    if (*update) updates.push_back(std::move(**update));
  }
  for (auto& update : updates) {
    update_list.push_back(update);
    if (check) continue;
    if (auto written = replace_file(update.path, update.new_text); !written) {
      return fail(about_path(update.path, written.error()));
    }
  }
  return {};
}

}  // namespace tersify::driver
