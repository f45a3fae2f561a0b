#pragma once
// Test support for whole runs of the built cargo-tersify in temporary cargo
// projects, with the real cargo and rustfmt.

#include <cstdlib>
#include <string>
#include <vector>

#include "support/command.h"
#include "support/temp_dir.h"

namespace tersify::test {

inline std::string manifest(const std::string& name, const std::string& edition) {
  return "[package]\nname = \"" + name + "\"\nversion = \"0.1.0\"\nedition = \"" + edition + "\"\n";
}

// A package at `at` (relative to `dir`, "" for the directory itself).
inline void write_package(const TempDir& dir, const std::string& at, const std::string& name,
                          const std::string& edition) {
  dir.write(at.empty() ? "Cargo.toml" : at + "/Cargo.toml", manifest(name, edition));
}

// Runs cargo-tersify with `args` in `cwd`.
inline CommandResult tersify_in(const std::string& cwd, const std::vector<std::string>& args,
                                CommandOptions options = {}) {
  options.cwd = cwd;
  return run_tersify(args, options);
}

// Options that put `dir` first on PATH.
inline CommandOptions path_first(const std::string& dir) {
  CommandOptions options;
  options.path_prefix = dir;
  return options;
}

// `options` with one file in flight at a time: the plain pipeline, whose
// children run in list order.
inline CommandOptions one_at_a_time(CommandOptions options) {
  options.env.push_back("CARGO_TERSIFY_JOBS=1");
  return options;
}

inline CommandOptions cwd_options(const std::string& cwd) {
  CommandOptions options;
  options.cwd = cwd;
  return options;
}

// Rust text that rustfmt changes: everything on one line, odd spacing.
inline constexpr const char* messy_source = "fn  main( ){let x=1;println!(\"{}\",x);}\n";

// Whether `text` is messy_source after a run formatted it.
inline bool formatted(const std::string& text) {
  return text != messy_source && text.find("println!(\"{}\", x);") != std::string::npos;
}

}  // namespace tersify::test
