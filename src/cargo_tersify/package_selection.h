#pragma once
// Packages named as cargo names them (--all, -p NAME, --manifest-path): the
// members of the workspace that `cargo metadata` reports, each standing for
// the source files in its folder that belong to it.

#include <string>
#include <vector>

#include "cargo_tersify/args.h"
#include "driver/edition.h"
#include "util/result.h"

namespace tersify {

struct PackageSelection {
  // The selected packages' folders, for the configuration step; with --all
  // the workspace root too, so that a run over every member amends the
  // configuration there as a run at the root does.
  std::vector<std::string> folders;
  // Their source files: those below each folder whose nearest Cargo.toml is
  // the package's own (a member nested in another belongs to itself).
  std::vector<std::string> files;
};

// The packages that `args` selects, from one `cargo metadata` run for the
// workspace of the manifest path (or of the working directory), whose
// editions go into `editions`. A folder below the working directory is
// named "./{path below it}", as a run at "." names it; others by their
// absolute path. Nothing when no package is selected. Fails with the line to
// print for a manifest path that does not exist, a package that is not a
// member, or a cargo metadata that fails.
Result<PackageSelection> select_packages(const RunArguments& args, driver::EditionMap& editions,
                                         const driver::Cargo& cargo);

// The run's source files: `path_files` as listed (a path given twice gives
// its files twice), then the files of `selection` that are not among them,
// all in path order.
std::vector<std::string> with_package_files(std::vector<std::string> path_files, const PackageSelection& selection);

// The path arguments and the selected folders, for the configuration step.
std::vector<std::string> with_package_folders(std::vector<std::string> paths, const PackageSelection& selection);

}  // namespace tersify
