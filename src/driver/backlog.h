#pragma once
// The files that rustfmt has formatted and whose compaction is still under
// way, oldest first. A run compacts them a step at a time while the next
// file's rustfmt runs, and completes them strictly in order, so that the
// effects (writes, check-mode records, the first failure) come as if every
// file went through the pipeline one after the other.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "driver/process_file.h"
#include "util/fs.h"
#include "util/result.h"

namespace tersify::driver {

class Backlog {
 public:
  Backlog(bool check, std::vector<std::string>& reformat_list) : check_(check), reformat_list_(reformat_list) {}

  bool empty() const { return files_.empty(); }
  // The bytes of text held by the waiting files.
  std::size_t held_bytes() const { return held_bytes_; }
  // Whether a waiting file is the file with `identity`; none matches nothing.
  bool holds(const std::optional<FileIdentity>& identity) const;

  void push(FormattedFile file, std::optional<FileIdentity> identity);

  // One compaction step of the oldest file; once its compaction is finished,
  // completes it. Fails with the line to print (path first) when completing
  // fails. Does nothing when empty.
  Status step_front();
  // Completes the oldest file; there must be one. Fails as step_front does.
  Status complete_front();
  // Completes every file in order, stopping at the first failure.
  Status complete_all();

 private:
  struct Waiting {
    CompactingFile file;
    std::optional<FileIdentity> identity;
  };

  bool check_;
  std::vector<std::string>& reformat_list_;
  std::deque<Waiting> files_;
  std::size_t held_bytes_ = 0;
};

}  // namespace tersify::driver
