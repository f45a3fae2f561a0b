#pragma once
// The rustfmt that would format a file of a folder, as text for the result
// cache's key, found without starting rustfmt wherever the file it would
// run can be told (driver/toolchain_program.h).

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "driver/toolchain_program.h"

namespace tersify::driver {

class RustfmtIdentity {
 public:
  explicit RustfmtIdentity(const RustupEnvironment& environment = RustupEnvironment::of_process());

  // The identity of the rustfmt run in `folder` (canonical; empty: the
  // working directory): ToolchainPrograms' where it can be told; otherwise
  // the stamp of the rustfmt on PATH with what `rustfmt --version` says in
  // `folder`, asked once per toolchain choice. None when neither can be
  // had. Thread-safe.
  std::optional<std::string> for_folder(const std::string& folder);

 private:
  ToolchainPrograms programs_;
  std::mutex mutex_;
  std::map<std::string, std::optional<std::string>> versions_;  // by toolchain choice
};

}  // namespace tersify::driver
