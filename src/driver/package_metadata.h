#pragma once
// Which cargo package a path belongs to, and what `cargo metadata` says about
// the packages of a manifest.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/cargo.h"
#include "driver/edition.h"
#include "util/program_path.h"
#include "util/result.h"

namespace tersify::driver {

// The first of `path`, its parent, its parent's parent and so on (lexically,
// up to "/" or to the working directory) whose "Cargo.toml" is a regular file,
// following symbolic links. None when no candidate has one.
std::optional<std::string> package_root(std::string_view path);

// Whether `folder` holds a "Cargo.toml" that is a regular file (following
// symbolic links).
bool is_package_root(const std::string& folder);

// Runs `cargo metadata --no-deps --offline --format-version 1 --manifest-path
// <manifest_path>` and enters the canonical manifest path and edition of every
// package it reports into `editions`, replacing earlier entries. Fails with
// the reason: cargo's own message when it fails, or what is wrong with its
// answer; packages before a bad one stay.
Status load_packages(const std::string& manifest_path, EditionMap& editions, const Cargo& cargo);

// The packages of a `cargo metadata` document (format version 1) entered into
// `editions`, as load_packages enters them.
Status enter_packages(std::string_view metadata_json, EditionMap& editions);

// A member of a workspace, as `cargo metadata` names it.
struct WorkspaceMember {
  std::string name;
  std::string manifest_path;  // as cargo reports it: absolute
};

struct Workspace {
  std::string root;                      // cargo's "workspace_root"
  std::vector<WorkspaceMember> members;  // in cargo's order
};

// The workspace of the manifest at `manifest_path`, or of the working
// directory when none is given, from one `cargo metadata` run whose packages
// are entered into `editions` as load_packages does. Fails as load_packages
// does.
Result<Workspace> load_workspace(const std::optional<std::string>& manifest_path, EditionMap& editions,
                                 const Cargo& cargo);

// The workspace of a `cargo metadata` document (format version 1, run with
// --no-deps: its packages are the members).
Result<Workspace> workspace_of(std::string_view metadata_json);

}  // namespace tersify::driver
