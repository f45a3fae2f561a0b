#pragma once
// The check-mode report at the end of a run.

#include <string>
#include <vector>

#include "util/result.h"

namespace tersify {

// In check mode with something to report: prints "would update {}" for every
// config path, then "would reformat {}" for every source path, on standard
// output, and gives 1. Otherwise prints nothing and gives 0. Fails with the
// line to print when the report can't be written.
Result<int> finish_run(bool check, const std::vector<std::string>& update_list,
                       const std::vector<std::string>& reformat_list);

}  // namespace tersify
