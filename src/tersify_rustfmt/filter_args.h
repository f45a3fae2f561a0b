#pragma once
// The command line of tersify-rustfmt: the part of rustfmt's own that editors
// pass when they have it format a buffer on standard input.
//
//   tersify-rustfmt [--edition E | --edition=E] [--width N]
//                   [--emit stdout | --emit=stdout] [--quiet | -q]

#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "util/result.h"

namespace tersify {

// What the command line sets; the rest comes from the working directory.
using FilterSettings = driver::SettingOverrides;

// Reads the arguments after the program name; a later --edition or --width
// replaces an earlier one. Fails with the line to print, "{argument}:
// {message}", on the first argument that is not one of the above (a file
// name, `--emit files`) or lacks a valid value.
Result<FilterSettings> parse_filter_args(const std::vector<std::string>& arguments);

}  // namespace tersify
