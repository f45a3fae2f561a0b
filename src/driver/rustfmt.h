#pragma once
// Formatting one source text with the outside program rustfmt.

#include <cstdint>
#include <string>
#include <string_view>

#include "util/result.h"

namespace tersify::driver {

// The --config value: the width, small heuristics at Max, and formatting
// switched back on over the "disable_all_formatting = true" that the
// project's rustfmt.toml holds.
std::string rustfmt_config(std::uint64_t max_width);

// Runs `rustfmt --edition <edition> --emit stdout --config <rustfmt_config>`
// with `source` on standard input and gives its standard output (invalid
// UTF-8 replaced by U+FFFD). Fails with "failed to run rustfmt: {}" when it
// can't be started, the I/O error text when feeding or collecting fails, and
// rustfmt's whole standard error when it ends unsuccessfully.
Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width);

}  // namespace tersify::driver
