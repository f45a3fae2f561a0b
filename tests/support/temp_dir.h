#pragma once
// Test support: a fresh temporary directory, removed with its contents when
// the owner goes. Files are written and read as raw bytes.

#include <string>
#include <string_view>

namespace tersify::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Absolute path of `relative` below the directory.
  std::string operator/(std::string_view relative) const;

  // Writes `contents` to `relative`, creating parent directories.
  void write(std::string_view relative, std::string_view contents) const;
  void mkdir(std::string_view relative) const;
  void symlink(std::string_view target, std::string_view relative) const;
  std::string read(std::string_view relative) const;
  bool exists(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes an executable shell script at `path` (#!/bin/sh plus `body`).
void write_script(const std::string& path, std::string_view body);

}  // namespace tersify::test
