#pragma once
// The per-file pipeline (read, rustfmt, compact, compare, rewrite or record)
// and the check-mode report at the end of a run.
//
// The pipeline comes in two halves, so that files can be worked on side by
// side while their effects keep the list order: process_file reads a file
// and computes its final text, which touches nothing; record_file then
// rewrites or records it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/final_text.h"
#include "driver/rustfmt.h"
#include "util/cancellation.h"
#include "util/result.h"

namespace tersify::driver {

// What rustfmt and compaction need to know about a file besides its text.
struct FileSettings {
  std::string edition;
  std::uint64_t width = 0;
};

// A file read and put through the pipeline, before its effect.
struct ProcessedFile {
  std::string source;  // the text as read
  FinalText final;
};

// Reads the file at `listed_path`, then asks `settings` for its edition and
// width (a failure there, such as one of cargo metadata, comes after a read
// failure), then computes its final text: settled in write mode, one pass in
// check mode. Fails with the message to print after the path.
Result<ProcessedFile> process_file(const std::string& listed_path,
                                   const std::function<Result<FileSettings>()>& settings, bool check, Rustfmt& rustfmt,
                                   const Cancellation* cancel = nullptr);

// Compares the final text with the file's text `source`: a file whose final
// text differs is rewritten in place (write mode) or appended to
// `reformat_list` (check mode). When a rewrite fails part-way, the original
// text is written back (best effort) before the failure is reported, so the
// file is not left cut short.
Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   std::vector<std::string>& reformat_list);

// In check mode with something to report: prints "would update {}" for every
// config path, then "would reformat {}" for every source path, on standard
// output, and gives 1. Otherwise prints nothing and gives 0. Fails when the
// report can't be written.
Result<int> finish_run(bool check, const std::vector<std::string>& update_list,
                       const std::vector<std::string>& reformat_list);

}  // namespace tersify::driver
