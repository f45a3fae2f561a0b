#pragma once
// The command line: cargo-tersify [tersify] [--check] [--width N] [path ...]

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/result.h"

namespace tersify {

// What the command line asks for: a run, or a text to print.
enum class Action { run, help, version };

struct Settings {
  Action action = Action::run;
  bool check = false;                           // true: check mode; false: write mode
  bool diff = false;                            // "--diff": check mode that prints what would change
  std::optional<std::uint64_t> width_override;  // from the first "--width N" or "--width=N"
  std::vector<std::string> paths;               // never empty: "." when none is given
};

// Reads the arguments after the program name; a leading "tersify" (cargo's
// subcommand word) is dropped. Words starting with "-" are options up to a
// "--", after which every word is a path. Fails with the line to print for an
// unknown option ("{word}: unknown option") or a width that is not an integer
// from 1 up ("--width {value}: expected an integer from 1 up").
Result<Settings> parse_args(const std::vector<std::string>& arguments);

// What --help and --version print.
std::string usage_text();
std::string version_text();

}  // namespace tersify
