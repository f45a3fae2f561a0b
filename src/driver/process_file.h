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
#include "driver/result_cache.h"
#include "util/cancellation.h"
#include "util/result.h"

namespace tersify::driver {

// The files that a write would change, as check mode records them in list
// order. For a diff of each, both texts are kept until the report.
struct Reformat {
  std::string listed_path;
  std::string source;      // the text as read (only with keep_texts)
  std::string final_text;  // the text a write would leave (only with keep_texts)
};
struct ReformatList {
  bool keep_texts = false;
  std::vector<Reformat> files;
};

// A file read and put through the pipeline, before its effect.
struct ProcessedFile {
  std::string source;  // the text as read
  FinalText final;
  bool cached = false;  // the final text came from the cache: it is the source
};

// Reads the file at `listed_path`, then takes its `settings` (a failure of
// their lookup, such as one of cargo metadata, comes after a read failure),
// then computes its final text: settled (as a write needs it) or in one pass.
// A text that `cache` (when given) knows to be final is its own final text,
// found without the formatter. Fails with the message to print after the
// path. It is read_source, then finish_file.
Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool settle,
                                   Formatter& formatter, const Cancellation* cancel = nullptr,
                                   const ResultCache* cache = nullptr);

// A file's text as read, and whether `cache` knows it to be final.
struct SourceText {
  std::string text;
  bool known_final = false;
};

// process_file's first half: the read, the settings, the cache.
Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               const ResultCache* cache);

// process_file's second half, for settings that were found.
Result<ProcessedFile> finish_file(SourceText source, const FileSettings& settings, bool settle, Formatter& formatter,
                                  const Cancellation* cancel);

// Compares the final text with the file's text `source`: a file whose final
// text differs is replaced whole (write mode, util/replace_file.h: the file
// keeps its old text when the write fails) or appended to `reformat_list`
// (check mode; with both texts when the list keeps them).
Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   ReformatList& reformat_list);

}  // namespace tersify::driver
