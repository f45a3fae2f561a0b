#pragma once
// Formatting one source text with the outside program rustfmt, as one call or
// as a started child whose output is collected later.

#include <cstdint>
#include <string>
#include <string_view>

#include "util/process.h"
#include "util/result.h"

namespace tersify::driver {

// The --config value: the width, small heuristics at Max, and formatting
// switched back on over the "disable_all_formatting = true" that the
// project's rustfmt.toml holds.
std::string rustfmt_config(std::uint64_t max_width);

// Starts `rustfmt --edition <edition> --emit stdout --config <rustfmt_config>`
// and writes `source` to its standard input. Fails with "failed to run
// rustfmt: {}" when it can't be started and with the I/O error text when
// feeding it fails (the child is then left alone; the run ends).
Result<RunningChild> start_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width);

// Collects a started rustfmt: its standard output (invalid UTF-8 replaced by
// U+FFFD). Fails with the I/O error text when collecting fails and with
// rustfmt's whole standard error when it ends unsuccessfully.
Result<std::string> finish_rustfmt(RunningChild& rustfmt);

// start_rustfmt and finish_rustfmt in one.
Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width);

}  // namespace tersify::driver
