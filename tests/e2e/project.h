#pragma once
// Test support for whole runs of the built cargo-tersify in temporary cargo
// projects, with the real cargo and rustfmt.

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
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

// Options for a run in `cwd` with `input` on standard input.
inline CommandOptions in_folder(const std::string& cwd, const std::string& input) {
  CommandOptions options = cwd_options(cwd);
  options.input = input;
  return options;
}

// Rust text that rustfmt changes: everything on one line, odd spacing.
inline constexpr const char* messy_source = "fn  main( ){let x=1;println!(\"{}\",x);}\n";

// Whether `text` is messy_source after a run formatted it.
inline bool formatted(const std::string& text) {
  return text != messy_source && text.find("println!(\"{}\", x);") != std::string::npos;
}

// How a run ended, to compare in one expectation with a tuple of the
// expected status, standard output and standard error.
inline std::tuple<int, std::string, std::string> ended(const CommandResult& result) {
  return {result.status, result.out, result.err};
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::size_t longest_line(const std::string& text) {
  std::size_t longest = 0;
  for (const auto& line : lines_of(text)) longest = std::max(longest, line.size());
  return longest;
}

// A call that widths of 60 and less break and 100 and more keep whole.
inline constexpr const char* long_call =
    "pub fn call() { first_function_name(argument_number_one, argument_number_two, argument_number_three); }\n";
inline constexpr const char* long_call_line =
    "first_function_name(argument_number_one, argument_number_two, argument_number_three);";

}  // namespace tersify::test
