#include "driver/toolchain_choice.h"

#include "driver/toml_text.h"
#include "util/fs.h"

namespace tersify::driver {
namespace {

std::optional<std::string> rustup_settings_path(const Environment& environment) {
  if (environment.rustup_home) return join_path(*environment.rustup_home, "settings.toml");
  if (!environment.home) return std::nullopt;
  return join_path(join_path(*environment.home, ".rustup"), "settings.toml");
}

}  // namespace

ToolchainChoices::ToolchainChoices(const Environment& environment) {
  environment_decides_ = environment.rustup_toolchain && !environment.rustup_toolchain->empty();
  auto path = rustup_settings_path(environment);
  if (!path) return;
  auto text = read_text_file(*path);
  if (!text) return;
  auto root = read_toml_root(*text);
  if (!root) return;
  if (auto overrides = root->entries.find("overrides"); overrides != root->entries.end()) {
    for (const auto& folder : overrides->second.keys) overrides_.emplace(folder, true);
  }
}

std::string ToolchainChoices::choice_for(const std::string& folder) {
  if (environment_decides_) return {};
  std::lock_guard lock(mutex_);
  if (auto known = known_.find(folder); known != known_.end()) return known->second;
  std::string choice;
  for (const auto& candidate : path_candidates(folder)) {
    if (overrides_.contains(candidate)) {
      choice = "override " + candidate;
      break;
    }
    if (file_kind(join_path(candidate, "rust-toolchain")) == FileKind::regular ||
        file_kind(join_path(candidate, "rust-toolchain.toml")) == FileKind::regular) {
      choice = "file " + candidate;
      break;
    }
  }
  known_.emplace(folder, choice);
  return choice;
}

}  // namespace tersify::driver
