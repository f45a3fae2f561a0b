#pragma once
// A private temporary folder (mode 0700) for files that a child reads by
// name. It and the files written into it are removed when the owner goes,
// or by the handler of a fatal signal or an internal error
// (util/temp_file_registry.h). A folder left by a process that died without
// removing it (SIGKILL) is removed by the first creation of a later process
// in the same place.

#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify {

class ScratchFolder {
 public:
  // A new folder "{prefix}{pid}-XXXXXX" in the folder `root` (the run's
  // temporary folder); path() is canonical. Fails with the I/O error text.
  static Result<ScratchFolder> create(const std::string& root, std::string_view prefix);

  ScratchFolder(ScratchFolder&& other) noexcept;
  ScratchFolder& operator=(ScratchFolder&& other) = delete;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  const std::string& path() const { return path_; }

  // Writes the file `name` (a bare file name) in the folder. Fails with the
  // I/O error text.
  Status write(const std::string& name, std::string_view contents);

 private:
  explicit ScratchFolder(std::string path) : path_(std::move(path)) {}
  std::string path_;  // empty once moved from
  int slot_ = -1;     // in the registry of temporary folders
  std::vector<std::string> names_;
};

}  // namespace tersify
