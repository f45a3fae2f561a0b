#pragma once
// The check-mode report at the end of a run.

#include <string>
#include <vector>

#include "cargo_tersify/args.h"
#include "driver/file_effect.h"
#include "driver/rustfmt_toml.h"
#include "util/result.h"

namespace tersify {

// In check mode with something to report: prints "would update {}" for every
// config path, then "would reformat {}" for every source path, on standard
// output (nothing with --quiet), and gives 1. With --diff (the list then
// keeps the texts), a unified diff of what a write would change takes the
// place of each line: the configuration files' first, a new one's from
// /dev/null. Otherwise prints nothing and gives 0. Gives closed_output_status
// when the report's reader is gone (util/command_line.h); fails with the line
// to print when the report can't be written otherwise.
//
// The diffs' headers are made for `patch -p1` and `git apply` in the working
// directory: the path below it, without a leading "./", under "a/" and "b/".
// A file listed by an absolute path or through ".." is named by its path
// below the working directory when its real directory lies there; otherwise
// both headers carry its absolute real path, which patch and git apply
// refuse: such a diff is for reading.
Result<int> finish_run(const RunArguments& args, const std::vector<driver::ConfigUpdate>& update_list,
                       const driver::ReformatList& reformat_list);

// What --verbose prints on standard error as a file is handled: "{path}:
// reformatted", "would reformat" (check mode) or "unchanged" for a source
// file, "{path}: updated", "would update" or "unchanged" for a configuration
// file. A line that can't be written is left out.
void report_handled(const std::string& path, bool changed, bool is_config, bool check);

}  // namespace tersify
