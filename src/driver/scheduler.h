#pragma once
// The run over the file list: every file through the pipeline, up to `jobs`
// of them in flight at once, while the effects come exactly as if the files
// were handled one after the other.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/edition.h"
#include "driver/file_settings.h"
#include "driver/formatter.h"
#include "driver/process_file.h"
#include "driver/result_cache.h"
#include "util/result.h"

namespace tersify::driver {

struct FileRunOptions {
  bool check = false;
  unsigned jobs = 1;  // workers; 1 with group_size 1 is one file after the other
  // Files a worker takes at once; their first formatting goes to
  // Formatter::format_together in one call.
  std::size_t group_size = 1;
  // Check mode settles each text as write mode does, so that a diff shows
  // exactly what a write would leave.
  bool settle_in_check = false;
  // Texts known to be final skip the pipeline; final texts the pipeline
  // gives back unchanged are recorded. None: no cache.
  const ResultCache* cache = nullptr;
  // Told of each file as its effect comes (on the run thread, in list order):
  // whether its final text differs from its text as read.
  std::function<void(const std::string& listed_path, bool changed)> on_recorded = nullptr;
  // The canonical path arguments: every file is read and written only
  // where it lies within one of them (through links too). None: anywhere.
  std::vector<std::string> roots = {};
};

// Whether the run settles each file's final text: write mode does, so that a
// --check after a write finds nothing.
inline bool settles(const FileRunOptions& options) { return !options.check || options.settle_in_check; }

// What a run did, for benchmarks and tests.
struct FileRunCounts {
  std::uint64_t files = 0;          // files recorded or found unchanged
  std::uint64_t settled_files = 0;  // files that took more than one pass
  std::uint64_t extra_passes = 0;   // passes beyond the first, over all files
  std::uint64_t cache_hits = 0;     // files whose final text the cache knew
};

// The text (as read and as finished) that files done out of turn may hold
// while they wait for the ones before them.
inline constexpr std::size_t max_waiting_bytes = std::size_t{64} << 20;

// Puts every file of `files` through process_file and record_file. Files are
// rewritten or recorded strictly in list order; the first failure stops the
// run before anything after its file is written, and only after everything
// before it is; a file that is the same as one still in flight (listed twice,
// or through a link) is read only after that one is written. A file is
// written only while its path leads to the file read at its turn, holding
// the text that was formatted; one changed before or during its turn is
// handled again from what it is now. Before any file of a folder is read,
// what an in-place write cut short there left is undone
// (util/in_place_write.h). Editions may be looked up ahead of their file's
// turn, in list order. Gives the line to print for the first failure
// ("{path}: {message}").
Status process_files(const std::vector<std::string>& files, const FileRunOptions& options, SettingsLookup& settings,
                     Formatter& formatter, ReformatList& reformat_list, FileRunCounts& counts);

}  // namespace tersify::driver
