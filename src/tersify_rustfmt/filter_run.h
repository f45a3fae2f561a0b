#pragma once

#include "driver/environment.h"
#include "tersify_rustfmt/filter_args.h"

namespace tersify {

// One run of tersify-rustfmt: the source on standard input, the text that
// cargo tersify would write for a file holding it in the working directory on
// standard output (the input itself when nothing would change). Never writes
// a file; a file that its configuration's `ignore` list leaves out comes
// back unchanged. A failure prints one line on standard error and nothing on
// standard output. Returns the exit status: 0, 2 on failure, or
// closed_output_status when nobody reads standard output.
int run_filter(const FilterArguments& settings, const driver::Environment& environment);

}  // namespace tersify
