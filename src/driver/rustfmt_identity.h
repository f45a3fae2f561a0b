#pragma once
// Which rustfmt would format a file of a folder, as text for the result
// cache's key (driver/result_cache.h): results are known only for the same
// rustfmt. Found without starting rustfmt wherever the file it would run can
// be told (driver/toolchain_program.h).

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "driver/environment.h"
#include "driver/toolchain_program.h"
#include "util/program_path.h"

namespace tersify::driver {

class RustfmtIdentity {
 public:
  explicit RustfmtIdentity(const Environment& environment);
  RustfmtIdentity(const RustfmtIdentity&) = delete;
  RustfmtIdentity& operator=(const RustfmtIdentity&) = delete;

  // The identity of the rustfmt run in `folder` (canonical; empty: the
  // working directory): ToolchainPrograms' where it can be told; otherwise
  // the stamp of the rustfmt on the search path with what `rustfmt
  // --version` says in `folder`, asked once per toolchain choice. None when
  // neither can be had. Thread-safe.
  std::optional<std::string> for_folder(const std::string& folder);

 private:
  std::optional<std::string> look_up(const std::string& folder);

  Program rustfmt_;
  ToolchainPrograms programs_;
  std::mutex mutex_;
  std::map<std::string, std::optional<std::string>> versions_;  // by toolchain choice
  // Each folder's answer, asked for every file of it.
  std::map<std::string, std::optional<std::string>, std::less<>> by_folder_;
};

}  // namespace tersify::driver
