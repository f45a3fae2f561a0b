#pragma once

#include "cargo_tersify/args.h"
#include "cargo_tersify/environment.h"

namespace tersify {

// One run of the tool over the settings: rustfmt.toml files first, then every
// source file, then the report. Returns the exit status.
int run(const Settings& settings, const RunEnvironment& environment);

}  // namespace tersify
