#pragma once
// What the rustup proxy picks a toolchain by, for a folder: a fork server
// started in one folder runs the toolchain chosen there, so it may serve
// another folder only when the proxy would choose alike for both. The
// toolchain itself is told by name where the proxy's sources say it.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "driver/environment.h"
#include "util/paths.h"

namespace tersify::driver {

// Where the proxy's choice for a folder comes from.
struct ToolchainSource {
  enum class Kind { environment, override_folder, file_folder, default_toolchain };
  Kind kind = Kind::default_toolchain;
  std::string folder;  // the folder with the override or the toolchain file
};

class ToolchainChoices {
 public:
  // Reads the proxy's settings ($RUSTUP_HOME, else ~/.rustup,
  // "settings.toml": the default toolchain and directory overrides) once.
  explicit ToolchainChoices(const Environment& environment);

  // Equal for two folders (canonical paths) when the proxy chooses by the
  // same thing for both: RUSTUP_TOOLCHAIN (then "" for all), else the
  // nearest folder from `folder` up with a directory override or a
  // rust-toolchain(.toml) file (an override first, as rustup looks), else
  // "" (the default toolchain). Thread-safe.
  std::string choice_for(const std::string& folder);

  // The toolchain the proxy runs in `folder` as its source names it: a name
  // ("stable", "nightly-2024-05-01", "stable-x86_64-unknown-linux-gnu") or
  // a path (a "path" in a toolchain file, resolved against its folder).
  // None when it can't be told. Thread-safe.
  std::optional<std::string> toolchain_for(const std::string& folder);

  // The proxy's home: $RUSTUP_HOME, else ~/.rustup; empty when unknown.
  const std::string& rustup_home() const { return rustup_home_; }

 private:
  ToolchainSource source_for(const std::string& folder);

  std::optional<std::string> environment_toolchain_;
  std::string rustup_home_;
  std::optional<std::string> default_toolchain_;
  std::map<std::string, std::string, PathLess> overrides_;  // folder to toolchain name
  std::mutex mutex_;
  std::map<std::string, ToolchainSource, PathLess> known_;  // folder to source
};

// The toolchain that a rust-toolchain or rust-toolchain.toml file in
// `folder` names, as toolchain_for gives it; "" when it names none but says
// which components or targets go with the default toolchain; none when
// rustup would not read it.
std::optional<std::string> toolchain_file_choice(std::string_view text, const std::string& folder);

}  // namespace tersify::driver
