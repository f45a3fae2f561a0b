#pragma once
// Everything a run of cargo-tersify is told, read once at start and handed
// down from there: its arguments and its environment.

#include "cargo_tersify/args.h"
#include "driver/environment.h"
#include "util/result.h"

namespace tersify {

// More workers than this would only wait on each other.
inline constexpr unsigned max_jobs = 256;

struct RunOptions {
  RunArguments arguments;
  driver::Environment environment;
  // Files in flight at once: CARGO_TERSIFY_JOBS, else the CPUs this process
  // may use; at most max_jobs.
  unsigned jobs = 1;
};

// The options of a run. Fails with the line to print for a
// CARGO_TERSIFY_JOBS that is not a positive integer.
Result<RunOptions> run_options(RunArguments arguments, driver::Environment environment);

}  // namespace tersify
