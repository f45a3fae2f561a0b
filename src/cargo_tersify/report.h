#pragma once
// The check-mode report at the end of a run.

#include <string>
#include <vector>

#include "driver/process_file.h"
#include "util/result.h"

namespace tersify {

// In check mode with something to report: prints "would update {}" for every
// config path, then either "would reformat {}" for every source path or, with
// `diff` (the list then keeps the texts), a unified diff per source file of
// what a write would change, on standard output, and gives 1. Otherwise
// prints nothing and gives 0. Gives closed_output_status when the report's
// reader is gone (util/command_line.h); fails with the line to print when
// the report can't be written otherwise.
//
// The diffs' headers are made for `patch -p1` and `git apply` in the working
// directory: the path below it, without a leading "./", under "a/" and "b/".
// A file listed by an absolute path or through ".." is named by its path
// below the working directory when its real directory lies there; otherwise
// both headers carry its absolute real path, which patch and git apply
// refuse: such a diff is for reading.
Result<int> finish_run(bool check, bool diff, const std::vector<std::string>& update_list,
                       const driver::ReformatList& reformat_list);

}  // namespace tersify
