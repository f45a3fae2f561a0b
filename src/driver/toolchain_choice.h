#pragma once
// What the rustup proxy picks a toolchain by, for a folder: a fork server
// started in one folder runs the toolchain chosen there, so it may serve
// another folder only when the proxy would choose alike for both.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "driver/environment.h"
#include "util/paths.h"

namespace tersify::driver {

class ToolchainChoices {
 public:
  // Reads the proxy's directory overrides ($RUSTUP_HOME, else ~/.rustup,
  // "settings.toml") once.
  explicit ToolchainChoices(const Environment& environment);

  // Equal for two folders (canonical paths) when the proxy chooses by the
  // same thing for both: RUSTUP_TOOLCHAIN (then "" for all), else the
  // nearest folder from `folder` up with a directory override or a
  // rust-toolchain(.toml) file (an override first, as rustup looks), else
  // "" (the default toolchain). Thread-safe.
  std::string choice_for(const std::string& folder);

 private:
  bool environment_decides_ = false;
  std::map<std::string, bool, PathLess> overrides_;  // folders with a directory override
  std::mutex mutex_;
  std::map<std::string, std::string, PathLess> known_;  // folder to choice
};

}  // namespace tersify::driver
