#pragma once
// The command line of tersify-rustfmt: the part of rustfmt's own that editors
// pass when they have it format a buffer on standard input.
//
//   tersify-rustfmt [--edition E | --edition=E] [--width N]
//                   [--stdin-filename PATH | --stdin-filename=PATH]
//                   [--emit stdout | --emit=stdout] [--quiet | -q]

#include <optional>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "util/result.h"

namespace tersify {

// What the command line sets; the rest comes from the file the text is
// for: `file_name`, or a file in the working directory.
struct FilterSettings {
  driver::SettingOverrides overrides;
  // --stdin-filename: the buffer's file, which need not exist yet. Editors
  // run formatters in their own working directory, not the file's.
  std::optional<std::string> file_name;
};

// Reads the arguments after the program name; a later --edition or --width
// replaces an earlier one. Fails with the line to print, "{argument}:
// {message}", on the first argument that is not one of the above (a file
// name, `--emit files`) or lacks a valid value.
Result<FilterSettings> parse_filter_args(const std::vector<std::string>& arguments);

}  // namespace tersify
