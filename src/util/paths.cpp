#include "util/paths.h"

#include <algorithm>

#include "util/text.h"

namespace tersify {

std::vector<PathComponent> path_components(std::string_view path) {
  std::vector<PathComponent> components;
  size_t i = 0;
  if (!path.empty() && path.front() == '/') {
    components.push_back({PathComponent::Kind::root, path.substr(0, 1), 1});
    i = 1;
  }
  bool at_start = components.empty();
  while (i < path.size()) {
    size_t slash = path.find('/', i);
    size_t end = slash == std::string_view::npos ? path.size() : slash;
    std::string_view part = path.substr(i, end - i);
    if (part == ".") {
      // Only a leading "." of a relative path is a component of its own.
      if (at_start) components.push_back({PathComponent::Kind::cur_dir, part, end});
    } else if (part == "..") {
      components.push_back({PathComponent::Kind::parent_dir, part, end});
    } else if (!part.empty()) {
      components.push_back({PathComponent::Kind::name, part, end});
    }
    at_start = false;
    i = end + 1;
  }
  return components;
}

int compare_paths(std::string_view a, std::string_view b) {
  auto ca = path_components(a);
  auto cb = path_components(b);
  size_t n = std::min(ca.size(), cb.size());
  for (size_t k = 0; k < n; ++k) {
    if (ca[k].kind != cb[k].kind) return ca[k].kind < cb[k].kind ? -1 : 1;
    if (ca[k].kind == PathComponent::Kind::name) {
      // string_view comparison is char_traits<char>::compare, i.e. memcmp:
      // unsigned bytes, a proper prefix first.
      int c = ca[k].text.compare(cb[k].text);
      if (c != 0) return c < 0 ? -1 : 1;
    }
  }
  if (ca.size() == cb.size()) return 0;
  return ca.size() < cb.size() ? -1 : 1;
}

std::string join_path(std::string_view path, std::string_view name) {
  std::string joined(path);
  if (!joined.empty() && joined.back() != '/') joined.push_back('/');
  joined.append(name);
  return joined;
}

std::optional<std::string_view> file_name(std::string_view path) {
  auto components = path_components(path);
  if (components.empty() || components.back().kind != PathComponent::Kind::name) return std::nullopt;
  return components.back().text;
}

std::optional<std::string> parent_path(std::string_view path) {
  auto components = path_components(path);
  if (components.empty() || components.back().kind == PathComponent::Kind::root) return std::nullopt;
  if (components.size() == 1) return std::string();
  return std::string(path.substr(0, components[components.size() - 2].end));
}

std::vector<std::string> path_candidates(std::string_view path) {
  std::vector<std::string> candidates{std::string(path)};
  while (auto parent = parent_path(candidates.back())) candidates.push_back(std::move(*parent));
  return candidates;
}

bool lies_within(std::string_view path, std::string_view folder) {
  auto inner = path_components(path);
  auto outer = path_components(folder);
  auto is_parent = [](const PathComponent& c) { return c.kind == PathComponent::Kind::parent_dir; };
  if (std::any_of(inner.begin(), inner.end(), is_parent) || std::any_of(outer.begin(), outer.end(), is_parent)) {
    return false;
  }
  if (outer.size() > inner.size()) return false;
  return std::equal(outer.begin(), outer.end(), inner.begin(), [](const PathComponent& a, const PathComponent& b) {
    return a.kind == b.kind && a.text == b.text;
  });
}

std::string display_path(std::string_view path) { return lossy_utf8(path); }

std::string about_path(std::string_view path, std::string_view message) {
  return display_path(path).append(": ").append(message);
}

std::optional<std::string_view> path_below(std::string_view path, std::string_view folder) {
  if (path == folder) return std::string_view();
  if (!path.starts_with(folder)) return std::nullopt;
  path.remove_prefix(folder.size());
  if (folder.ends_with('/')) return path;
  if (!path.starts_with('/')) return std::nullopt;
  return path.substr(1);
}

}  // namespace tersify
