#pragma once

#include <optional>
#include <string>

#include "driver/metadata_cache.h"
#include "tersify_rustfmt/filter_args.h"

namespace tersify {

// The variables the filter reads, at its start: CARGO_TERSIFY_FORK_SERVER=0
// (every rustfmt run started afresh) and those of the caches
// (CARGO_TERSIFY_CACHE, XDG_CACHE_HOME, HOME, and cargo's for
// driver/metadata_cache.h).
struct FilterEnvironment {
  bool fork_server = true;
  std::optional<std::string> result_cache_folder;    // none: no result cache
  std::optional<std::string> metadata_cache_folder;  // none: cargo metadata always runs
  driver::CargoEnvironment cargo;
  static FilterEnvironment of_process();
};

// One run of tersify-rustfmt: the source on standard input, the text that
// cargo tersify would write for a file holding it in the working directory on
// standard output (the input itself when nothing would change). Never writes
// a file; a file that its configuration's `ignore` list leaves out comes
// back unchanged. A failure prints one line on standard error and nothing on
// standard output. Returns the exit status: 0, 2 on failure, or
// closed_output_status when nobody reads standard output.
int run_filter(const FilterSettings& settings, const FilterEnvironment& environment);

}  // namespace tersify
