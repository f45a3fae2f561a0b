#pragma once
// The command line of tersify-rustfmt: the part of rustfmt's own that editors
// pass when they have it format a buffer on standard input.
//
//   tersify-rustfmt [--edition E | --edition=E] [--width N]
//                   [--emit stdout | --emit=stdout] [--quiet | -q]

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/result.h"

namespace tersify {

struct FilterSettings {
  std::optional<std::string> edition;  // none: the edition of the package above the working directory
  std::optional<std::uint64_t> width;  // none: the nearest rustfmt.toml's max_width, or 160
};

// Reads the arguments after the program name; a later --edition or --width
// replaces an earlier one. Fails with the line to print, "{argument}:
// {message}", on the first argument that is not valid UTF-8, not one of the
// above (a file name, `--emit files`) or lacks a valid value.
Result<FilterSettings> parse_filter_args(const std::vector<std::string>& arguments);

}  // namespace tersify
