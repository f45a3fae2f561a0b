#pragma once
// A file's effect, committed on the run thread strictly in list order: its
// final text written over it (write mode) or the file listed for the report
// (check mode), once the file is checked to be the one whose text was
// formatted; then the run's counts, the result cache's new entry and the
// run's word about the file (--verbose). A failure becomes the line to
// print, "{path}: {message}", the one place where a path is put in front of
// a file's message.

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "driver/file_settings.h"
#include "driver/formatter.h"
#include "driver/process_file.h"
#include "util/fs.h"
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

// What a run's files did, for its statistics.
struct FileRunCounts {
  std::uint64_t files = 0;          // files recorded or found unchanged
  std::uint64_t settled_files = 0;  // files that took more than one pass
  std::uint64_t extra_passes = 0;   // passes beyond the first, over all files
  std::uint64_t cache_hits = 0;     // files whose final text the cache knew

  std::vector<RunCount> named() const {
    return {
        {"files", files}, {"settled_files", settled_files}, {"extra_passes", extra_passes}, {"cache_hits", cache_hits}};
  }
};

// How a run's files take effect.
struct EffectOptions {
  bool check = false;
  // The canonical path arguments: a file is read and written only where it
  // lies within one of them (through links too). None: anywhere.
  std::vector<std::string> roots = {};
  // The canonical working folder, where relative listed paths start; empty
  // when unknown.
  std::string working_folder = {};
  // Told of each file as its effect comes: whether its final text differs
  // from its text as read.
  std::function<void(const std::string& listed_path, bool changed)> on_effect = nullptr;
};

// Compares the final text with the file's text as read: a file whose final
// text differs is replaced whole (write mode, util/replace_file.h: the file
// keeps its old text when the write fails), but only while `listed_path`
// still leads (within `roots`) to the file as it was read, with that text;
// otherwise the error says `changed` and nothing is touched. In check mode
// the file is appended to `reformat_list` (with both texts when the list
// keeps them).
Result<void, ReplaceError> write_or_list(const std::string& listed_path, const ProcessedFile& file, bool check,
                                         ReformatList& reformat_list, std::span<const std::string> roots = {});

class FileEffects {
 public:
  // `pipeline` formats a file again when it changed (without cancellation:
  // on the run thread). Everything given must outlive the effects.
  FileEffects(const EffectOptions& options, const Pipeline& pipeline, ReformatList& reformat_list,
              FileRunCounts& counts)
      : options_(options), pipeline_(pipeline), reformat_list_(reformat_list), counts_(counts) {}

  // Commits the effect of the file at `listed_path` (with its `settings`,
  // found at its turn) from `outcome`. A file whose outcome was computed
  // ahead of its turn (`read_ahead`) is read again first: one that no
  // longer holds the text that was formatted, or is another file now, is
  // handled again from what it is now, so that a user's edit is never
  // overwritten. One that changes during the write is handled again too, a
  // few times at most. Fails with the line to print.
  Status commit_effect(const std::string& listed_path, const Result<FileSettings>& settings,
                       Result<ProcessedFile> outcome, bool read_ahead);

  // Where the run's files may be read and written.
  std::span<const std::string> roots() const { return options_.roots; }

 private:
  const EffectOptions& options_;
  const Pipeline& pipeline_;
  ReformatList& reformat_list_;
  FileRunCounts& counts_;
};

// Undoes, once per folder and before any file of it is read, what in-place
// writes (util/in_place_write.h) that a killed run never finished left
// there.
class InterruptedWrites {
 public:
  // `entry` is what is at `listed_path` (path_entry); `settings`, its
  // settings when they were found, name the canonical folder of a file that
  // is not a link.
  void undo_before_reading(const std::string& listed_path, const PathEntry& entry,
                           const Result<FileSettings>& settings);

 private:
  std::set<std::string> folders_;        // canonical, undone
  std::set<std::string> named_folders_;  // as the listed paths name them, undone
};

}  // namespace tersify::driver
