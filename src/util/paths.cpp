#include "util/paths.h"

#include <algorithm>

#include "util/text.h"

namespace tersify {

namespace {

// The components of a path one at a time, without a list: what path order
// needs, as it compares paths in every ordered container keyed by them.
class Components {
 public:
  explicit Components(std::string_view path) : path_(path) {
    if (!path_.empty() && path_.front() == '/') {
      root_ = true;
      at_start_ = false;
      i_ = 1;
    }
  }

  std::optional<PathComponent> next() {
    if (root_) {
      root_ = false;
      return PathComponent{PathComponent::Kind::root, path_.substr(0, 1), 1};
    }
    while (i_ < path_.size()) {
      size_t slash = path_.find('/', i_);
      size_t end = slash == std::string_view::npos ? path_.size() : slash;
      std::string_view part = path_.substr(i_, end - i_);
      bool first = at_start_;
      at_start_ = false;
      i_ = end + 1;
      if (part == ".") {
        // Only a leading "." of a relative path is a component of its own.
        if (first) return PathComponent{PathComponent::Kind::cur_dir, part, end};
      } else if (part == "..") {
        return PathComponent{PathComponent::Kind::parent_dir, part, end};
      } else if (!part.empty()) {
        return PathComponent{PathComponent::Kind::name, part, end};
      }
    }
    return std::nullopt;
  }

 private:
  std::string_view path_;
  size_t i_ = 0;
  bool root_ = false;
  bool at_start_ = true;
};

}  // namespace

std::vector<PathComponent> path_components(std::string_view path) {
  std::vector<PathComponent> components;
  Components walk(path);
  while (auto component = walk.next()) components.push_back(*component);
  return components;
}

int compare_paths(std::string_view a, std::string_view b) {
  Components wa(a);
  Components wb(b);
  for (;;) {
    auto ca = wa.next();
    auto cb = wb.next();
    if (!ca || !cb) {
      if (!ca && !cb) return 0;
      return !ca ? -1 : 1;
    }
    if (ca->kind != cb->kind) return ca->kind < cb->kind ? -1 : 1;
    if (ca->kind == PathComponent::Kind::name) {
      // string_view comparison is char_traits<char>::compare, i.e. memcmp:
      // unsigned bytes, a proper prefix first.
      int c = ca->text.compare(cb->text);
      if (c != 0) return c < 0 ? -1 : 1;
    }
  }
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
