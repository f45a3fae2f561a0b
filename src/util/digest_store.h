#pragma once
// A set of digests kept as files in a folder shared by every process of the
// user: one small file per digest, named by it, in 256 subfolders. It is a
// cache and fails safe: an entry is written to a temporary file that is then
// renamed into place, so readers see a whole entry or none; an entry that is
// cut short, holds anything else or can't be read is absent; and every
// failure to write (a read-only or missing folder, a full disk) is ignored.
// Any number of threads and processes may use the same folder at once.
//
// An entry may also hold a value (find, put): its bytes follow the digest,
// with a digest of them, so that a value damaged in any way is absent too.
//
// Only regular files inside the folder are touched: subfolders and entries
// are opened relative to the open folder without following links, a FIFO or
// a device is never read, a file of any other size than an entry's is
// absent, and pruning removes names (a link itself, never what it leads
// to).

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "util/fd.h"

namespace tersify {

class DigestStore {
 public:
  // `folder` need not exist; `magic` marks the entries of this format.
  DigestStore(std::string folder, std::string magic);

  // Whether the entry for `digest` (hex, at least two digits) is present and
  // whole. A present entry's time is refreshed when it is an hour old or
  // more, so that pruning takes the entries unused longest.
  bool contains(const std::string& digest) const;

  // Adds the entry for `digest`, best effort.
  void add(const std::string& digest) const;

  // The value of the entry for `digest`, when it is present and whole; its
  // time is refreshed as by contains().
  std::optional<std::string> find(const std::string& digest) const;

  // Adds or replaces the entry for `digest` with `value` (at most
  // max_value_size bytes), best effort.
  void put(const std::string& digest, std::string_view value) const;

  static constexpr std::size_t max_value_size = 64u << 20;

  // When the store holds more than `limit` entries, removes the oldest
  // until a tenth of `limit` is free again; also removes temporary files
  // that a killed process left behind an hour ago or earlier. Best effort.
  void prune(std::size_t limit) const;

  const std::string& folder() const { return folder_; }

  // Whether this run should prune a store: one run in prune_one_in, chosen
  // at random, so that no run pays for it often.
  static bool prune_this_run();
  static constexpr unsigned prune_one_in = 32;

 private:
  // The store's folder, opened once it is there and kept open; -1 while it
  // can't be opened.
  int root() const;
  std::string entry_text(const std::string& digest) const;
  // The entry's whole text when it is a regular file of a size in
  // [min_size, max_size]; its time refreshed.
  std::optional<std::string> read_entry(const std::string& digest, std::size_t min_size, std::size_t max_size) const;
  void write_entry(const std::string& digest, std::string_view text) const;

  std::string folder_;
  std::string magic_;
  mutable std::mutex root_mutex_;
  mutable Fd root_;
};

}  // namespace tersify
