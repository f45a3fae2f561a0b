#pragma once

#include "cargo_tersify/run_options.h"

namespace tersify {

// One run of the tool over the settings: rustfmt.toml files first, then every
// source file, then the report. Returns the exit status.
int run(const RunOptions& options);

}  // namespace tersify
