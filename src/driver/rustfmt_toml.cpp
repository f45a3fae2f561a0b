// rustfmt.toml handling. Both scans work on lines but not on the same line
// rules: the disable scan strips any run of line feeds and carriage returns
// from the end of a line, the width scan removes a line feed and at most one
// carriage return before it (a stray one is whitespace to the value trim).
// Amendments are byte-exact: everything outside the replaced value region is
// copied unchanged.

#include "driver/rustfmt_toml.h"

#include <algorithm>
#include <cerrno>

#include "driver/package_metadata.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/replace_file.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

constexpr std::string_view setting_key = "disable_all_formatting";
constexpr std::string_view appended_line = "disable_all_formatting = true\n";

// Splits `text` into lines ending at line feeds (the line feed included); a
// rest after the last line feed is a line when it is not empty.
template <class Visit>
void for_each_line(std::string_view text, Visit&& visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t feed = text.find('\n', start);
    size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
    if (!visit(start, text.substr(start, end - start))) return;
    start = end;
  }
}

}  // namespace

std::vector<std::string> config_paths(const std::vector<std::string>& path_arguments) {
  std::vector<std::string> paths;
  for (const auto& argument : path_arguments) {
    std::string start = argument;
    if (file_kind(argument) == FileKind::regular) {
      if (auto parent = parent_path(argument)) start = std::move(*parent);
    }
    if (auto canonical = canonical_path(start)) start = std::move(*canonical);
    std::string root = package_root(start).value_or(start);
    paths.push_back(join_path(root, "rustfmt.toml"));
  }
  std::stable_sort(paths.begin(), paths.end(), PathLess{});
  paths.erase(std::unique(paths.begin(), paths.end(),
                          [](const std::string& a, const std::string& b) { return paths_equal(a, b); }),
              paths.end());
  return paths;
}

std::string disabled_config_text(std::string_view old_text) {
  std::string text(old_text);
  bool found = false;
  for_each_line(old_text, [&](size_t line_start, std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return true;
    if (trim_whitespace(line.substr(0, equals)) != setting_key) return true;
    size_t value_start = equals + 1;
    size_t hash = line.find('#', value_start);
    size_t value_end = hash == std::string_view::npos ? line.size() : hash;
    text.replace(line_start + value_start, value_end - value_start,
                 hash == std::string_view::npos ? " true" : " true ");
    found = true;
    return false;
  });
  if (!found) {
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    text.append(appended_line);
  }
  return text;
}

Status disable_formatting(const std::string& config_path, bool check, std::vector<std::string>& update_list) {
  std::string old_text;
  if (auto read = read_regular_text_file(config_path)) {
    old_text = std::move(*read);
  } else if (read.error().errnum != ENOENT) {
    return fail(display_path(config_path) + ": " + read.error().message);
  }

  std::string new_text = disabled_config_text(old_text);
  if (new_text == old_text) return {};
  update_list.push_back(config_path);
  if (check) return {};
  if (auto written = replace_file(config_path, new_text); !written) {
    return fail(display_path(config_path) + ": " + written.error());
  }
  return {};
}

std::optional<std::uint64_t> configured_max_width(std::string_view config_text) {
  std::optional<std::string_view> width_line;
  for_each_line(config_text, [&](size_t, std::string_view line) {
    if (line.ends_with('\n')) {
      line.remove_suffix(1);
      if (line.ends_with('\r')) line.remove_suffix(1);
    }
    if (!trim_start_whitespace(line).starts_with("max_width")) return true;
    width_line = line;
    return false;
  });
  if (!width_line) return std::nullopt;

  size_t equals = width_line->find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view value = width_line->substr(equals + 1);
  value = value.substr(0, value.find('='));
  value = trim_whitespace(value);
  while (value.starts_with('"')) value.remove_prefix(1);
  while (value.ends_with('"')) value.remove_suffix(1);
  return parse_unsigned(value);
}

// The search starts at the path itself, and a file has no rustfmt.toml below
// it, so a file and its directory get the same width.
std::uint64_t max_width_for(const std::string& path) {
  auto canonical = canonical_path(path);
  for (const auto& candidate : path_candidates(canonical ? *canonical : path)) {
    auto text = read_regular_text_file(join_path(candidate, "rustfmt.toml"));
    if (!text) continue;
    return configured_max_width(*text).value_or(default_max_width);
  }
  return default_max_width;
}

}  // namespace tersify::driver
