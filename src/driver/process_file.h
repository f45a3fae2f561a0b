#pragma once
// The per-file pipeline (read, rustfmt, compact, compare, rewrite or record)
// and the check-mode report at the end of a run.
//
// The pipeline comes in steps, so that a run can compact earlier files while
// rustfmt formats the next: start_file reads the file and starts its rustfmt,
// collect_file waits for rustfmt's output, and CompactingFile compacts one
// parse step at a time, then compares and rewrites or records.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compact/compact.h"
#include "driver/edition.h"
#include "util/process.h"
#include "util/result.h"

namespace tersify::driver {

// A file that has been read, whose rustfmt child is running.
struct PendingFile {
  std::string listed_path;
  std::string source;  // the text as read
  std::uint64_t width = 0;
  RunningChild rustfmt;
};

// A file with rustfmt's output, ready for compaction.
struct FormattedFile {
  std::string listed_path;
  std::string source;     // the text as read
  std::string formatted;  // rustfmt's output for it
  std::uint64_t width = 0;
};

// Reads the file at `listed_path`, finds its edition (this may run cargo
// metadata, so no other child may be running) and width, and starts rustfmt
// on the text. Fails with the message to print after the path.
Result<PendingFile> start_file(const std::string& listed_path, std::optional<std::uint64_t> width_override,
                               EditionMap& editions);

// Waits for the file's rustfmt and takes its output. Fails with the message
// to print after the path.
Result<FormattedFile> collect_file(PendingFile file);

// A formatted file whose compaction runs one step at a time, so that a run
// can service a running rustfmt between the steps.
class CompactingFile {
 public:
  explicit CompactingFile(FormattedFile file);

  // One compaction step; gives whether compaction is finished.
  bool step() { return compaction_.step(); }
  // Finishes compaction, then compares and rewrites or records as
  // record_file does. Called once.
  Status complete(bool check, std::vector<std::string>& reformat_list);

  const std::string& listed_path() const { return listed_path_; }
  // The bytes of text held while the file waits.
  std::size_t held_bytes() const { return held_bytes_; }

 private:
  std::string listed_path_;
  std::string source_;
  compact::Compaction compaction_;
  std::size_t held_bytes_;
};

// Compares the compacted text with the file's text `source`: a file whose
// final text differs is rewritten in place (write mode) or appended to
// `reformat_list` (check mode). When a rewrite fails part-way, the original
// text is written back (best effort) before the failure is reported, so the
// file is not left cut short.
Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text,
                   bool check, std::vector<std::string>& reformat_list);

// In check mode with something to report: prints "would update {}" for every
// config path, then "would reformat {}" for every source path, on standard
// output, and gives 1. Otherwise prints nothing and gives 0. Fails when the
// report can't be written.
Result<int> finish_run(bool check, const std::vector<std::string>& update_list,
                       const std::vector<std::string>& reformat_list);

}  // namespace tersify::driver
