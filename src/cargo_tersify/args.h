#pragma once
// The command line of cargo-tersify:
//
//   cargo-tersify [tersify] [options] [path ...] [-- [--check] [path ...]]
//
// Its words as cargo fmt takes them, read by the grammar both programs share
// (util/command_line.h): an option that takes a value is written "--name
// value" or "--name=value".

#include <optional>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "util/command_line.h"
#include "util/result.h"

namespace tersify {

struct RunArguments {
  Action action = Action::run;
  bool check = false;                        // true: check mode; false: write mode
  bool diff = false;                         // "--diff": check mode that prints what would change
  bool quiet = false;                        // "-q": nothing on standard output; the status tells
  bool verbose = false;                      // "-v": each file on standard error as it is handled
  driver::SettingOverrides overrides;        // "--width N"
  bool all_packages = false;                 // "--all": every member of the workspace
  std::vector<std::string> packages;         // "-p NAME", in the order given
  std::optional<std::string> manifest_path;  // where cargo looks for the workspace
  // The path arguments. When no package and no path is given: the folder of
  // the manifest path, else ".".
  std::vector<std::string> paths;

  bool selects_packages() const { return all_packages || !packages.empty(); }
};

// Reads the arguments after the program name; a leading "tersify" (cargo's
// subcommand word) is dropped. Words starting with "-" are options up to a
// "--"; after it, as after cargo fmt's, "--check" selects check mode and
// every other word is a path, which may not start with "-". Fails with the
// line to print for the first word that is not an option, lacks a valid
// value or repeats an option of one value, or for --quiet with --diff,
// whose report is its output.
Result<RunArguments> parse_args(const std::vector<std::string>& arguments);

// What --help and --version print.
std::string usage_text();
std::string version_text();

}  // namespace tersify
