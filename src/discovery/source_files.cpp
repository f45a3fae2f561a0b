#include "discovery/source_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify::discovery {
namespace {

using DirId = std::pair<dev_t, ino_t>;

bool has_rs_extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "rs";
}

bool is_skipped_directory_name(std::string_view name) {
  if (!is_valid_utf8(name)) return false;
  return name == "target" || (name.size() >= 2 && name.front() == '.');
}

// Whether the canonical path `inner` is `outer` or lies below it.
bool lies_within(std::string_view inner, std::string_view outer) {
  if (!inner.starts_with(outer)) return false;
  return inner.size() == outer.size() || outer.ends_with('/') || inner[outer.size()] == '/';
}

struct Walk {
  std::string root;  // the canonical path of the argument
  std::vector<std::string>& list;
  std::vector<DirId> branch;  // the directories open from the argument down to here
};

Status walk(const std::string& path, bool is_argument, Walk& state) {
  struct stat st;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0) {
    // Gone since it was listed, or a dangling link.
    if (!is_argument) return {};
    return fail(display_path(path) + ": " + io_error_text(errno));
  }
  auto name = file_name(path);
  // A FIFO or device named as an argument is listed, so that its turn fails
  // rather than the run passing over it.
  if (S_ISREG(st.st_mode) || (is_argument && !S_ISDIR(st.st_mode))) {
    if (name && has_rs_extension(*name)) state.list.push_back(path);
    return {};
  }
  if (!S_ISDIR(st.st_mode)) return {};
  if (name && is_skipped_directory_name(*name)) return {};
  DirId id{st.st_dev, st.st_ino};
  if (std::find(state.branch.begin(), state.branch.end(), id) != state.branch.end()) return {};
  struct stat link;
  if (!is_argument && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // A linked folder elsewhere on disk (a vendored copy) is not ours to rewrite.
    auto target = canonical_path(path);
    if (!target || !lies_within(*target, state.root)) return {};
  }

  DirHandle dir(::opendir(path.c_str()));
  if (!dir) return fail(display_path(path) + ": " + io_error_text(errno));
  state.branch.push_back(id);
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return fail(display_path(path) + ": " + io_error_text(errno));
      break;
    }
    std::string_view entry_name(entry->d_name);
    if (entry_name == "." || entry_name == "..") continue;
    if (auto done = walk(join_path(path, entry_name), false, state); !done) return done;
  }
  state.branch.pop_back();
  return {};
}

}  // namespace

Status rs_files(const std::string& path, std::vector<std::string>& list) {
  auto root = canonical_path(path);
  Walk state{root ? std::move(*root) : path, list, {}};
  return walk(path, true, state);
}

Result<std::vector<std::string>> collect_source_files(const std::vector<std::string>& path_arguments) {
  std::vector<std::string> list;
  for (const auto& argument : path_arguments) {
    if (auto done = rs_files(argument, list); !done) return fail(std::move(done).error());
  }
  std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) { return path_less(a, b); });
  return list;
}

}  // namespace tersify::discovery
