#pragma once
// The command line of tersify-rustfmt: the part of rustfmt's own that editors
// pass when they have it format a buffer on standard input, and the width,
// read by the grammar both programs share (util/command_line.h).
//
//   tersify-rustfmt [--stdin-filename PATH] [--edition E] [--width N]
//                   [--emit stdout] [--quiet | -q]

#include <optional>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "util/command_line.h"
#include "util/result.h"

namespace tersify {

// What the command line sets; the rest comes from the file the text is
// for: `file_name`, or a file in the working directory.
struct FilterArguments {
  Action action = Action::run;
  driver::SettingOverrides overrides;
  // --stdin-filename: the buffer's file, which need not exist yet. Editors
  // run formatters in their own working directory, not the file's.
  std::optional<std::string> file_name;
};

// Reads the arguments after the program name; a later --edition or
// --stdin-filename replaces an earlier one. Fails with the line to print on
// the first argument that is not one of the above (a file name, `--emit
// files`), lacks a valid value or gives the width again.
Result<FilterArguments> parse_filter_args(const std::vector<std::string>& arguments);

// What --help and --version print.
std::string filter_usage_text();
std::string filter_version_text();

}  // namespace tersify
