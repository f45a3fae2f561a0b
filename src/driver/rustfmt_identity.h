#pragma once
// Which rustfmt would format a file, as text for the result cache's key
// (driver/result_cache.h): results are known only for the same rustfmt.

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "driver/environment.h"
#include "driver/toolchain_choice.h"
#include "util/program_path.h"

namespace tersify::driver {

class RustfmtIdentity {
 public:
  explicit RustfmtIdentity(const Environment& environment);
  RustfmtIdentity(const RustfmtIdentity&) = delete;
  RustfmtIdentity& operator=(const RustfmtIdentity&) = delete;

  // What is alike for every folder: rustfmt's file on the search path with
  // its size and modification time, and RUSTUP_TOOLCHAIN. None when there
  // is no rustfmt to run.
  std::optional<std::string> program_key() const;

  // What `rustfmt --version` says in `folder` (canonical; empty: ours):
  // through a rustup proxy, which is the same file for every toolchain, the
  // version of the toolchain chosen there. Run once per toolchain choice.
  // None when it fails. Thread-safe.
  std::optional<std::string> version_in(const std::string& folder);

 private:
  Program rustfmt_;
  std::optional<std::string> rustup_toolchain_;
  ToolchainChoices toolchains_;
  std::mutex mutex_;
  std::map<std::string, std::optional<std::string>> versions_;  // by toolchain choice
};

// A file's path, size and modification time, or none when it can't be
// looked at.
std::optional<std::string> file_stamp(const std::string& path);

}  // namespace tersify::driver
