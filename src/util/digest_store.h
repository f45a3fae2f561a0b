#pragma once
// A set of digests kept as files in a folder shared by every process of the
// user: one small file per digest, named by it, in 256 subfolders. It is a
// cache and fails safe: an entry is written to a temporary file that is then
// renamed into place, so readers see a whole entry or none; an entry that is
// cut short, holds anything else or can't be read is absent; and every
// failure to write (a read-only or missing folder, a full disk) is ignored.
// Any number of threads and processes may use the same folder at once.
//
// Only regular files inside the folder are touched: subfolders and entries
// are opened relative to the open folder without following links, a FIFO or
// a device is never read, a file of any other size than an entry's is
// absent, and pruning removes names (a link itself, never what it leads
// to).

#include <cstddef>
#include <string>

#include "util/fd.h"

namespace tersify {

class DigestStore {
 public:
  // `folder` need not exist; `magic` marks the entries of this format.
  DigestStore(std::string folder, std::string magic);

  // Whether the entry for `digest` (hex, at least two digits) is present and
  // whole. A present entry's time is refreshed, so that pruning takes the
  // entries unused longest.
  bool contains(const std::string& digest) const;

  // Adds the entry for `digest`, best effort.
  void add(const std::string& digest) const;

  // When the store holds more than `limit` entries, removes the oldest
  // until a tenth of `limit` is free again; also removes temporary files
  // that a killed process left behind an hour ago or earlier. Best effort.
  void prune(std::size_t limit) const;

  const std::string& folder() const { return folder_; }

 private:
  Fd open_root() const;
  std::string entry_text(const std::string& digest) const;

  std::string folder_;
  std::string magic_;
};

}  // namespace tersify
