#include "driver/toolchain_choice.h"

#include <toml++/toml.h>

#include <vector>

#include "util/fs.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

std::optional<std::string> string_at(const toml::node_view<const toml::node>& node) {
  if (auto value = node.value<std::string>()) return *value;
  return std::nullopt;
}

}  // namespace

ToolchainChoices::ToolchainChoices(const Environment& environment) {
  // An empty RUSTUP_TOOLCHAIN is as good as none.
  if (environment.rustup_toolchain && !environment.rustup_toolchain->empty()) {
    environment_toolchain_ = environment.rustup_toolchain;
  }
  if (environment.rustup_home) {
    rustup_home_ = *environment.rustup_home;
  } else if (environment.home) {
    rustup_home_ = join_path(*environment.home, ".rustup");
  }
  if (rustup_home_.empty()) return;
  auto text = read_text_file(join_path(rustup_home_, "settings.toml"));
  if (!text) return;
  toml::parse_result parsed = toml::parse(*text);
  if (!parsed) return;
  const toml::table& root = parsed.table();
  default_toolchain_ = string_at(root["default_toolchain"]);
  if (const toml::table* overrides = root["overrides"].as_table()) {
    for (auto&& [folder, name] : *overrides) {
      // An override that names no toolchain still decides for its folder.
      overrides_.emplace(std::string(folder.str()), name.value<std::string>().value_or(""));
    }
  }
}

ToolchainSource ToolchainChoices::source_for(const std::string& folder) {
  if (environment_toolchain_) return {ToolchainSource::Kind::environment, {}};
  std::lock_guard lock(mutex_);
  if (auto known = known_.find(folder); known != known_.end()) return known->second;
  // A folder without a source of its own has its parent's: the folders
  // walked through take the answer too, so each folder is looked at once.
  std::vector<std::string> walked;
  ToolchainSource source;
  for (auto& candidate : path_candidates(folder)) {
    if (auto known = known_.find(candidate); known != known_.end()) {
      source = known->second;
      break;
    }
    if (overrides_.contains(candidate)) {
      source = {ToolchainSource::Kind::override_folder, candidate};
    } else if (file_kind(join_path(candidate, "rust-toolchain")) == FileKind::regular ||
               file_kind(join_path(candidate, "rust-toolchain.toml")) == FileKind::regular) {
      source = {ToolchainSource::Kind::file_folder, candidate};
    }
    walked.push_back(std::move(candidate));
    if (!source.folder.empty()) break;
  }
  for (auto& candidate : walked) known_.emplace(std::move(candidate), source);
  return source;
}

std::string ToolchainChoices::choice_for(const std::string& folder) {
  auto source = source_for(folder);
  switch (source.kind) {
    case ToolchainSource::Kind::override_folder:
      return "override " + source.folder;
    case ToolchainSource::Kind::file_folder:
      return "file " + source.folder;
    default:
      return {};
  }
}

std::optional<std::string> ToolchainChoices::toolchain_for(const std::string& folder) {
  auto source = source_for(folder);
  switch (source.kind) {
    case ToolchainSource::Kind::environment:
      return environment_toolchain_;
    case ToolchainSource::Kind::override_folder: {
      const std::string& name = overrides_.at(source.folder);
      return name.empty() ? std::nullopt : std::optional(name);
    }
    case ToolchainSource::Kind::file_folder: {
      // rustup prefers the file without an extension when both are there.
      auto text = read_text_file(join_path(source.folder, "rust-toolchain"));
      if (!text) text = read_text_file(join_path(source.folder, "rust-toolchain.toml"));
      if (!text) return std::nullopt;
      auto named = toolchain_file_choice(*text, source.folder);
      if (named && named->empty()) return default_toolchain_;
      return named;
    }
    case ToolchainSource::Kind::default_toolchain:
      return default_toolchain_;
  }
  return std::nullopt;
}

std::optional<std::string> toolchain_file_choice(std::string_view text, const std::string& folder) {
  std::string_view line = trim_end_whitespace(text);
  while (!line.empty() &&
         (line.front() == ' ' || line.front() == '\t' || line.front() == '\n' || line.front() == '\r')) {
    line.remove_prefix(1);
  }
  // The old form: the toolchain's name alone on one line.
  if (!line.empty() && line.find_first_of("\n[=\"#") == std::string_view::npos) return std::string(line);
  toml::parse_result parsed = toml::parse(text);
  if (!parsed) return std::nullopt;
  const toml::table& root = parsed.table();
  auto channel = string_at(root["toolchain"]["channel"]);
  auto path = string_at(root["toolchain"]["path"]);
  if (channel && !path) return channel;
  if (path && !channel && !path->empty()) return path->front() == '/' ? *path : join_path(folder, *path);
  // Components or targets alone: they go with the default toolchain.
  if (!channel && !path && root["toolchain"].is_table()) return std::string();
  return std::nullopt;
}

}  // namespace tersify::driver
