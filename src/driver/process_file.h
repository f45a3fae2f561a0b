#pragma once
// The per-file pipeline (read, rustfmt, compact, compare, rewrite or record)
// and the check-mode report at the end of a run.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/edition.h"
#include "util/result.h"

namespace tersify::driver {

// Puts the file at `listed_path` through the pipeline. A file whose final
// text differs is rewritten in place (write mode) or appended to
// `reformat_list` (check mode). Fails with the message to print after the
// path. When a rewrite fails part-way, the original text is written back
// (best effort) before the failure is reported, so the file is not left cut
// short.
Status process_file(const std::string& listed_path, bool check, std::optional<std::uint64_t> width_override,
                    EditionMap& editions, std::vector<std::string>& reformat_list);

// In check mode with something to report: prints "would update {}" for every
// config path, then "would reformat {}" for every source path, on standard
// output, and gives 1. Otherwise prints nothing and gives 0. Fails when the
// report can't be written.
Result<int> finish_run(bool check, const std::vector<std::string>& update_list,
                       const std::vector<std::string>& reformat_list);

}  // namespace tersify::driver
