#pragma once

#include "main/args.h"
#include "main/environment.h"

namespace tersify {

// One run of the tool over the settings: rustfmt.toml files first, then every
// source file, then the report. Returns the exit status.
int run(const Settings& settings, const RunEnvironment& environment);

}  // namespace tersify
