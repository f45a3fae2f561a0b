#pragma once
// The per-file pipeline: a file's text, its final text (driver/final_text.h)
// unless the result cache knows the text to be final already, and what the
// cache learns from it. Touches no file: the effect (a write, or a line of
// the report) is committed by driver/file_effect.h. Both programs take
// their texts through here: cargo-tersify its files', tersify-rustfmt its
// standard input.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "driver/final_text.h"
#include "driver/formatter.h"
#include "driver/result_cache.h"
#include "util/cancellation.h"
#include "util/file_place.h"
#include "util/result.h"

namespace tersify::driver {

// What a text goes through.
struct Pipeline {
  Formatter& formatter;
  // Settles each text as write mode does, so that a --check after a write
  // finds nothing, and a diff shows exactly what a write would leave.
  bool settle;
  // Texts known to be final skip the formatter. None: no cache.
  const ResultCache* cache = nullptr;
  const Cancellation* cancel = nullptr;
};

// A file's text as read, and which file it was (none for a text that did
// not come from a file).
struct SourceText {
  std::string text;
  FileIdentity identity;
  std::optional<FileState> state;  // as ReadText's: none when it can't tell a change
};

// A file's text put through the pipeline.
struct ProcessedFile {
  std::string source;     // the text as read
  FileIdentity identity;  // the file it was read from
  FinalText final;
  bool cached = false;  // the final text came from the cache: it is the source
  std::optional<FileState> state;  // the file's as read (SourceText)
};

// The file at `listed_path` as read (only a regular file, and within
// `roots` when they are given: read_regular_text), when its `settings`
// were found too; a failure of their lookup, such as one of cargo
// metadata, comes after a read failure. Fails with the message to print
// after the path.
Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               std::span<const std::string> roots = {});
// The same, read by `reader` (which holds the roots), for files read one
// after another.
Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               RegularTextReader& reader);

// The pipeline of one text with its file's settings. A text that the cache
// knows to be final is its own final text, found without the formatter.
// Fails with the message to print after the path.
Result<ProcessedFile> process_file(SourceText source, const FileSettings& settings, const Pipeline& pipeline);

// read_source, then process_file.
Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings,
                                   const Pipeline& pipeline, std::span<const std::string> roots = {});

// A group's text to process; the settings outlive the processing.
struct GroupMember {
  SourceText source;
  const FileSettings* settings;
};

// process_file for several texts side by side (final_texts): `done` is told
// each one's outcome, by its index in `files`, as soon as it is known.
void process_group(std::vector<GroupMember> files, const Pipeline& pipeline,
                   const std::function<void(std::size_t, Result<ProcessedFile>)>& done);

// The file, taking its text, when the pipeline's cache knows that text to
// be final: process_file's answer without the formatter. `source` is left
// as it is otherwise.
std::optional<ProcessedFile> known_final_file(SourceText& source, const FileSettings& settings,
                                              const Pipeline& pipeline);

// process_group for texts that the cache was asked about already and did
// not know.
void format_group(std::vector<GroupMember> files, const Pipeline& pipeline,
                  const std::function<void(std::size_t, Result<ProcessedFile>)>& done);

// Notes in `cache` (when given) that the file's final text is its own, when
// the pipeline showed that (a text it gave back unchanged) and the cache
// did not know it already. Best effort.
void remember_final_text(const ProcessedFile& file, const FileSettings& settings, const ResultCache* cache);

}  // namespace tersify::driver
