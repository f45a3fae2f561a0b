#include "cargo_tersify/package_selection.h"

#include <algorithm>
#include <set>

#include "discovery/source_files.h"
#include "driver/package_metadata.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify {
namespace {

// The canonical `folder` as the run names it: relative to the canonical
// working directory `cwd` when it lies there, so that its files are named as
// a run at "." names them.
std::string run_name(const std::string& folder, const std::string& cwd) {
  auto relative = path_below(folder, cwd);
  if (!relative) return folder;
  return relative->empty() ? std::string(".") : "./" + std::string(*relative);
}

// Appends the files below `folder` whose package is the one at `folder`.
Status add_own_files(const std::string& folder, std::vector<std::string>& files) {
  std::vector<std::string> listed;
  if (auto done = discovery::rs_files(folder, listed); !done) return done;
  for (auto& file : listed) {
    auto root = driver::package_root(file);
    if (root && paths_equal(*root, folder)) files.push_back(std::move(file));
  }
  return {};
}

}  // namespace

Result<PackageSelection> select_packages(const RunArguments& args, driver::EditionMap& editions,
                                         const driver::Cargo& cargo) {
  const std::string manifest = args.manifest_path.value_or(".");
  if (auto exists = args.manifest_path ? path_exists(*args.manifest_path) : Status{}; !exists) {
    return fail(about_path(manifest, exists.error()));
  }
  if (!args.selects_packages()) return PackageSelection{};

  auto workspace = driver::load_workspace(args.manifest_path, editions, cargo);
  // cargo's message ends with a line feed; the run adds its own.
  if (!workspace) return fail(about_path(manifest, trim_end_whitespace(workspace.error())));
  // Each member once: --all takes them all, in cargo's order.
  std::vector<const driver::WorkspaceMember*> chosen;
  auto choose = [&](const driver::WorkspaceMember& member) {
    if (std::find(chosen.begin(), chosen.end(), &member) == chosen.end()) chosen.push_back(&member);
  };
  if (args.all_packages) {
    for (const auto& member : workspace->members) choose(member);
  }
  for (const auto& name : args.packages) {
    auto member = std::find_if(workspace->members.begin(), workspace->members.end(),
                               [&](const driver::WorkspaceMember& m) { return m.name == name; });
    if (member == workspace->members.end()) return fail(name + ": no such package in the workspace");
    choose(*member);
  }

  auto cwd = canonical_path(".");
  if (!cwd) return fail(".: " + cwd.error());
  auto run_name_of = [&](const std::string& folder) -> Result<std::string> {
    auto canonical = canonical_path(folder);
    if (!canonical) return fail(about_path(folder, canonical.error()));
    return run_name(*canonical, *cwd);
  };
  PackageSelection selection;
  for (const auto* member : chosen) {
    auto folder = run_name_of(parent_path(member->manifest_path).value_or("."));
    if (!folder) return fail(std::move(folder).error());
    if (auto added = add_own_files(*folder, selection.files); !added) return fail(std::move(added).error());
    selection.folders.push_back(std::move(*folder));
  }
  if (args.all_packages) {
    // The root's configuration serves every member, as in a run at the root.
    auto root = run_name_of(workspace->root);
    if (!root) return fail(std::move(root).error());
    selection.folders.push_back(std::move(*root));
  }
  return selection;
}

std::vector<std::string> with_package_files(std::vector<std::string> path_files, const PackageSelection& selection) {
  if (selection.files.empty()) return path_files;
  // Files are told apart by their real path: a package's "./a/src/lib.rs"
  // is the path argument's "a/src/lib.rs".
  std::set<std::string> listed;
  auto real_path = [](const std::string& file) {
    auto canonical = canonical_path(file);
    return canonical ? std::move(*canonical) : file;
  };
  for (const auto& file : path_files) listed.insert(real_path(file));
  for (const auto& file : selection.files) {
    if (!listed.contains(real_path(file))) path_files.push_back(file);
  }
  std::stable_sort(path_files.begin(), path_files.end(), PathLess{});
  return path_files;
}

std::vector<std::string> with_package_folders(std::vector<std::string> paths, const PackageSelection& selection) {
  paths.insert(paths.end(), selection.folders.begin(), selection.folders.end());
  return paths;
}

}  // namespace tersify
