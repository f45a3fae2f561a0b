#pragma once
// The environment variables that tune how a run gets its results; none of
// them changes the results.
//
//   CARGO_TERSIFY_JOBS=N         files in flight at once (a positive integer;
//                                default: the CPUs this process may use)
//   CARGO_TERSIFY_FORK_SERVER=0  rustfmt started afresh for every run
//   CARGO_TERSIFY_BATCH=0        every text formatted by a rustfmt run of its
//                                own (driver/rustfmt_batch.h)
//   CARGO_TERSIFY_STATS=PATH     counts of the run written to PATH at its end
//   CARGO_TERSIFY_CACHE=0        no result cache (driver/result_cache.h): every
//                                file is formatted; and cargo metadata runs
//                                every time (driver/metadata_cache.h)

#include <optional>
#include <string>

#include "driver/metadata_cache.h"
#include "util/result.h"

namespace tersify {

// More workers than this would only wait on each other.
inline constexpr unsigned max_jobs = 256;

struct RunEnvironment {
  unsigned jobs = 1;
  bool fork_server = true;
  bool batches = true;
  std::optional<std::string> stats_path;
  std::optional<std::string> cache_folder;  // none: no result cache
  std::optional<std::string> metadata_cache_folder;  // none: cargo metadata always runs
  driver::CargoEnvironment cargo;
};

// Reads the variables. Fails with the line to print for a CARGO_TERSIFY_JOBS
// that is not a positive integer.
Result<RunEnvironment> read_environment();

}  // namespace tersify
