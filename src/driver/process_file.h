#pragma once
// The per-file pipeline: read, format, compact, compare, rewrite or record.
//
// It comes in two halves, so that files can be worked on side by side while
// their effects keep the list order: process_file reads a file and computes
// its final text, which touches nothing; record_file then rewrites or
// records it.

#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "driver/final_text.h"
#include "driver/formatter.h"
#include "util/cancellation.h"
#include "util/result.h"

namespace tersify::driver {

// A file read and put through the pipeline, before its effect.
struct ProcessedFile {
  std::string source;  // the text as read
  FinalText final;
};

// Reads the file at `listed_path`, then takes its `settings` (a failure of
// their lookup, such as one of cargo metadata, comes after a read failure),
// then computes its final text: settled in write mode, one pass in check
// mode. Fails with the message to print after the path.
Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool check,
                                   Formatter& formatter, const Cancellation* cancel = nullptr);

// Compares the final text with the file's text `source`: a file whose final
// text differs is replaced whole (write mode, util/replace_file.h: the file
// keeps its old text when the write fails) or appended to `reformat_list`
// (check mode).
Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   std::vector<std::string>& reformat_list);

}  // namespace tersify::driver
