#pragma once
// Paths are byte strings with "/" as separator, used as the operating system
// gives them. Components follow one rule everywhere: a leading "/" is the
// root, "." counts only at the very start of a relative path, empty parts
// (repeated or trailing "/") are dropped, ".." is a parent component and
// everything else is a name.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tersify {

struct PathComponent {
  enum class Kind { root, cur_dir, parent_dir, name };  // in path order
  Kind kind;
  std::string_view text;  // points into the path; "/" for the root
  size_t end;             // offset one past the component in the path
};

std::vector<PathComponent> path_components(std::string_view path);

// Path order: component by component, kinds root < "." < ".." < names, names
// as unsigned byte strings, a proper prefix first. Returns <0, 0 or >0.
int compare_paths(std::string_view a, std::string_view b);
inline bool path_less(std::string_view a, std::string_view b) { return compare_paths(a, b) < 0; }
inline bool paths_equal(std::string_view a, std::string_view b) { return compare_paths(a, b) == 0; }

// Strict weak order for ordered containers keyed by path.
struct PathLess {
  bool operator()(std::string_view a, std::string_view b) const { return path_less(a, b); }
};

// `path`, then "/" unless `path` is empty or already ends with "/", then `name`.
std::string join_path(std::string_view path, std::string_view name);

// The last component when it is a name; none for "/", "." or ".." endings and
// for the empty path.
std::optional<std::string_view> file_name(std::string_view path);

// The lexical parent: the path up to the end of its second-to-last component
// ("/" when only the root is left, "" when nothing is). The root and the empty
// path have no parent.
std::optional<std::string> parent_path(std::string_view path);

// The path itself, its parent, the parent's parent and so on: up to "/" for
// an absolute path, up to "" (the working directory) for a relative one.
std::vector<std::string> path_candidates(std::string_view path);

// Whether `path` is `folder` or lies below it, component by component (so
// "a//b/" lies within "a/b"). A path holding ".." is taken to lie nowhere:
// lexically it may lead anywhere.
bool lies_within(std::string_view path, std::string_view folder);

// `path` below `folder`, when both are spelled alike (both canonical, or a
// path that a search joined onto the folder as given): what follows the
// folder and a "/", "" for the folder itself; none when `path` does not
// start there.
std::optional<std::string_view> path_below(std::string_view path, std::string_view folder);

// The path as text for messages: invalid UTF-8 sequences become U+FFFD.
std::string display_path(std::string_view path);

// What is said about `path`, as every message about a path says it:
// "{display_path(path)}: {message}".
std::string about_path(std::string_view path, std::string_view message);

}  // namespace tersify
