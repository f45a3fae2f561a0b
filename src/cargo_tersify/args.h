#pragma once
// The command line: cargo-tersify [tersify] [options] [path ...] [-- [--check] [path ...]]

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
  bool quiet = false;                           // "-q": nothing on standard output; the status tells
  bool verbose = false;                         // "-v": each file on standard error as it is handled
  std::optional<std::uint64_t> width_override;  // from the first "--width N" or "--width=N"
  bool all_packages = false;                    // "--all": every member of the workspace
  std::vector<std::string> packages;            // "-p NAME", in the order given
  std::optional<std::string> manifest_path;     // where cargo looks for the workspace
  // The path arguments. When no package and no path is given: the folder of
  // the manifest path, else ".".
  std::vector<std::string> paths;

  bool selects_packages() const { return all_packages || !packages.empty(); }
};

// Reads the arguments after the program name; a leading "tersify" (cargo's
// subcommand word) is dropped. Words starting with "-" are options up to a
// "--"; after it, as after cargo fmt's, "--check" selects check mode and
// every other word is a path, which may not start with "-". Fails with the
// line to print for an unknown option ("{word}: unknown option"), a width
// that is not an integer from 1 up ("--width {value}: expected an integer
// from 1 up"), a missing value, a manifest path that does not name a
// Cargo.toml, or --quiet with --diff, whose report is its output.
Result<Settings> parse_args(const std::vector<std::string>& arguments);

// What --help and --version print.
std::string usage_text();
std::string version_text();

}  // namespace tersify
