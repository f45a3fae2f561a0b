#include "driver/rustfmt_config.h"

#include <array>

#include "driver/toml_text.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

// rustfmt's order within one folder.
constexpr std::array<std::string_view, 2> config_file_names = {".rustfmt.toml", "rustfmt.toml"};

Result<std::uint64_t> unsigned_value(const TomlEntry& entry, std::string_view key) {
  if (entry.kind != TomlEntry::Kind::integer || entry.integer < 0) {
    return fail(std::string(key) + ": expected an unsigned integer");
  }
  return static_cast<std::uint64_t>(entry.integer);
}

Result<bool> boolean_value(const TomlEntry& entry, std::string_view key) {
  if (entry.kind != TomlEntry::Kind::boolean) return fail(std::string(key) + ": expected a boolean");
  return entry.boolean;
}

}  // namespace

Result<RustfmtConfig> parse_rustfmt_config(std::string_view text) {
  auto root = read_toml_root(text);
  if (!root) return fail(std::move(root).error());
  RustfmtConfig config;
  const auto& entries = root->entries;
  if (auto found = entries.find("max_width"); found != entries.end()) {
    auto width = unsigned_value(found->second, "max_width");
    if (!width) return fail(std::move(width).error());
    config.max_width = *width;
  }
  if (auto found = entries.find("tab_spaces"); found != entries.end()) {
    auto spaces = unsigned_value(found->second, "tab_spaces");
    if (!spaces) return fail(std::move(spaces).error());
    config.tab_spaces = *spaces;
  }
  if (auto found = entries.find("hard_tabs"); found != entries.end()) {
    auto tabs = boolean_value(found->second, "hard_tabs");
    if (!tabs) return fail(std::move(tabs).error());
    config.hard_tabs = *tabs;
  }
  if (auto found = entries.find("ignore"); found != entries.end()) {
    if (found->second.kind != TomlEntry::Kind::strings)
      return fail(std::string("ignore: expected an array of strings"));
    config.ignore = found->second.strings;
  }
  return config;
}

std::optional<std::string> config_file_in_folder(std::string_view folder) {
  for (auto name : config_file_names) {
    std::string path = join_path(folder, name);
    if (file_kind(path) == FileKind::regular) return path;
  }
  return std::nullopt;
}

std::optional<std::string> config_outside_folders(const Environment& environment) {
  const auto& home = environment.home;
  if (home) {
    if (auto found = config_file_in_folder(*home)) return found;
  }
  auto config_home = environment.config_home;
  if (!config_home && home) config_home = join_path(*home, ".config");
  if (config_home) return config_file_in_folder(join_path(*config_home, "rustfmt"));
  return std::nullopt;
}

std::optional<std::string> config_rustfmt_reads(std::string_view folder, const Environment& environment) {
  for (const auto& candidate : path_candidates(folder)) {
    if (auto found = config_file_in_folder(candidate)) return found;
  }
  return config_outside_folders(environment);
}

Result<RustfmtConfig> read_rustfmt_config(const std::string& path) {
  auto text = read_regular_text_file(path);
  if (!text) return fail(about_path(path, text.error().message));
  return parse_config_file(path, *text);
}

Result<RustfmtConfig> parse_config_file(const std::string& path, std::string_view text) {
  auto config = parse_rustfmt_config(text);
  if (!config) return fail(about_path(path, config.error()));
  return config;
}

}  // namespace tersify::driver
