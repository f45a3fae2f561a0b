#pragma once
// Test support: run a real command with a given environment change and
// working directory, capturing standard output, standard error and status.

#include <string>
#include <vector>

namespace tersify::test {

struct CommandResult {
  int status = -1;      // exit code, or 128 + signal when a signal ended it
  std::string out;
  std::string err;
};

struct CommandOptions {
  std::string cwd;                        // empty: the test's working directory
  std::vector<std::string> env;           // "NAME=value" entries added or replaced
  std::string path_prefix;                // a directory put first on PATH
  std::string input;                      // standard input ("" gives an empty input)
};

CommandResult run_command(const std::vector<std::string>& argv, const CommandOptions& options = {});

// Runs the built cargo-tersify with `args`.
CommandResult run_tersify(const std::vector<std::string>& args, const CommandOptions& options = {});

// Runs the built tersify-rustfmt with `args`.
CommandResult run_filter(const std::vector<std::string>& args, const CommandOptions& options = {});

}  // namespace tersify::test
