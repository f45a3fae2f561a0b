#pragma once
// Which cargo package a path belongs to, and what `cargo metadata` says about
// the packages of a manifest.

#include <optional>
#include <string>
#include <string_view>

#include "driver/edition.h"
#include "util/result.h"

namespace tersify::driver {

// The first of `path`, its parent, its parent's parent and so on (lexically,
// up to "/" or to the working directory) whose "Cargo.toml" is a regular file,
// following symbolic links. None when no candidate has one.
std::optional<std::string> package_root(std::string_view path);

// Runs `cargo metadata --no-deps --offline --format-version 1 --manifest-path
// <manifest_path>` and enters the canonical manifest path and edition of every
// package it reports into `editions`, replacing earlier entries. Fails with
// "failed to run cargo metadata: {}", cargo's standard error when it fails,
// "invalid cargo metadata: {}", "cargo metadata has no packages", "cargo
// package has no manifest_path", "cargo package has no edition" or the I/O
// error text of resolving a manifest path; packages before a bad one stay.
Status load_packages(const std::string& manifest_path, EditionMap& editions);

// The packages of a `cargo metadata` document (format version 1) entered into
// `editions`, with the messages of load_packages.
Status enter_packages(std::string_view metadata_json, EditionMap& editions);

}  // namespace tersify::driver
