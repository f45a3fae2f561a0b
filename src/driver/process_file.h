#pragma once
// The per-file pipeline: read, format, compact, compare, rewrite or record.
//
// It comes in two halves, so that files can be worked on side by side while
// their effects keep the list order: process_file reads a file and computes
// its final text, which touches nothing; record_file then rewrites or
// records it.

#include <span>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "driver/final_text.h"
#include "driver/formatter.h"
#include "driver/result_cache.h"
#include "util/cancellation.h"
#include "util/file_place.h"
#include "util/replace_file.h"
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
  std::string source;     // the text as read
  FileIdentity identity;  // the file it was read from
  FinalText final;
  bool cached = false;  // the final text came from the cache: it is the source
};

// Reads the file at `listed_path` (only a regular file, and within `roots`
// when they are given: read_regular_text), then takes its `settings` (a
// failure of their lookup, such as one of cargo metadata, comes after a read
// failure), then computes its final text: settled (as a write needs it) or in
// one pass. A text that `cache` (when given) knows to be final is its own
// final text, found without the formatter. Fails with the message to print
// after the path. It is read_source, then finish_file.
Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool settle,
                                   Formatter& formatter, const Cancellation* cancel = nullptr,
                                   const ResultCache* cache = nullptr, std::span<const std::string> roots = {});

// A file's text as read, which file it was, and whether `cache` knows the
// text to be final.
struct SourceText {
  std::string text;
  FileIdentity identity;
  bool known_final = false;
};

// process_file's first half: the read, the settings, the cache.
Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               const ResultCache* cache, std::span<const std::string> roots = {});

// read_source for a file read already.
Result<SourceText> take_source(ReadText read, const Result<FileSettings>& settings, const ResultCache* cache);

// process_file's second half, for settings that were found.
Result<ProcessedFile> finish_file(SourceText source, const FileSettings& settings, bool settle, Formatter& formatter,
                                  const Cancellation* cancel);

// Compares the final text with the file's text as read: a file whose final
// text differs is replaced whole (write mode, util/replace_file.h: the file
// keeps its old text when the write fails), but only while `listed_path`
// still leads (within `roots`) to the file as it was read, with that text;
// otherwise the error says `changed` and nothing is touched. In check mode
// the file is appended to `reformat_list` (with both texts when the list
// keeps them).
Result<void, ReplaceError> record_file(const std::string& listed_path, const ProcessedFile& file, bool check,
                                       ReformatList& reformat_list, std::span<const std::string> roots = {});

}  // namespace tersify::driver
