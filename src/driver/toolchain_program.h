#pragma once
// Which cargo or rustfmt a start by name would run, told without starting
// it: through the rustup proxy, the chosen toolchain's own file; otherwise
// the executable on PATH.

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "driver/environment.h"
#include "driver/toolchain_choice.h"

namespace tersify::driver {

class ToolchainPrograms {
 public:
  // Programs found on the environment's search path.
  explicit ToolchainPrograms(const Environment& environment);

  // What tells the `program` that a start by name in `folder` (canonical)
  // would run from any other: when PATH leads to the rustup proxy, the
  // proxy's stamp (util/file_stamp.h) with that of the program in the
  // toolchain the proxy chooses there; when it leads to another ELF
  // executable, that file's stamp. None
  // when it can't be told: no such program, a script (whatever it runs is
  // unknown), or a toolchain whose file is not found. Thread-safe.
  std::optional<std::string> identity(const std::string& program, const std::string& folder);

  ToolchainChoices& choices() { return choices_; }

 private:
  std::optional<std::string> find_identity(const std::string& program, const std::string& folder);

  std::string search_path_;
  ToolchainChoices choices_;
  std::mutex mutex_;
  std::map<std::string, std::optional<std::string>> known_;  // by program and toolchain choice
};

// Whether the executable at `path` is the rustup proxy: rustup itself under
// another name, by a symbolic or a hard link.
bool is_rustup_proxy(const std::string& path);

// The folder of `toolchain` (toolchain_for's answer) among those installed
// in `rustup_home`: a path as it is; a name as a folder of "toolchains",
// completed with the host's triple ("stable" is
// "stable-x86_64-unknown-linux-gnu") when exactly one installed toolchain
// completes it. None when none does.
std::optional<std::string> toolchain_folder(const std::string& rustup_home, const std::string& toolchain);

}  // namespace tersify::driver
